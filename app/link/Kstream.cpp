#include "Kstream.h"

#include "Com232.h"
#include "Comthread.h"
#include "Strmthread.h"
#include "bramble/Bramble.h"
#include "common/Kfifo.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

std::mutex gRxFifoMutex;
KFifoFF* gRxFifo = nullptr; // guarded by gRxFifoMutex

bool OnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

} // namespace

bool RxFifoCreate(int capacity)
{
    std::lock_guard<std::mutex> lock(gRxFifoMutex);
    if (gRxFifo == nullptr) {
        gRxFifo = new KFifoFF(1, capacity);
    }
    return gRxFifo != nullptr;
}

void RxFifoDelete()
{
    std::lock_guard<std::mutex> lock(gRxFifoMutex);
    delete gRxFifo;
    gRxFifo = nullptr;
}

void RxFifoPutCallback(char* data, int* length)
{
    if (data == nullptr || length == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(gRxFifoMutex);
        if (gRxFifo == nullptr) {
            return;
        }
        gRxFifo->Put(data, *length);
    }
    if (qmr::platform::Event* wake = ComWakeEvent()) {
        wake->Set();
    }
}

int RxFifoGet(char* buffer, int n)
{
    std::lock_guard<std::mutex> lock(gRxFifoMutex);
    if (gRxFifo == nullptr || buffer == nullptr) {
        return 0;
    }
    int got = gRxFifo->Get(buffer, n);
    return got > 0 ? got : 0;
}

int RxFifoCount()
{
    std::lock_guard<std::mutex> lock(gRxFifoMutex);
    return gRxFifo != nullptr ? gRxFifo->GetCount() : 0;
}

void KStream::SetTerminator(const char* text)
{
    std::memset(terminator_, 0, sizeof terminator_);
    if (text != nullptr) {
        std::strncpy(terminator_, text, 2);
    }
}

KStreamCom::KStreamCom(int id, KCom* transport) : KStream(id), transport_(transport)
{
    opened_ = Open();
}

KStreamCom::~KStreamCom()
{
    Close();
    if (transport_) {
        transport_->Close();
    }
}

bool KStreamCom::Open()
{
    RxFifoCreate(kRxFifoCapacity);
    bool ok = false;
    try {
        reader_ = std::make_unique<TThreadStream>(this);
        if (reader_->WaitRunning(1000) && reader_->State() == 1) {
            ok = true;
        } else {
            reader_->SetStop();
            reader_.reset();
        }
    } catch (...) {
        reader_.reset();
    }
    if (!ok) {
        Close();
        return false;
    }
    reader_->SetCallback(RxFifoPutCallback);
    return true;
}

void KStreamCom::Close()
{
    if (reader_) {
        reader_->SetStop();
        // A reader that has not begun yet is given up to 2 s to do so.
        for (int waited = 0; reader_->State() == 0 && !reader_->Finished() && waited < 2000; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(99));
            if (OnGuiThread()) {
                QCoreApplication::processEvents();
            }
        }
        // Returns once the reader's current line read has returned.
        reader_.reset();
    }
    RxFifoDelete();
}

std::string KStreamCom::ReadLine()
{
    if (!transport_ || !transport_->IsOpen()) {
        // Nothing can come any more; keep the reader from spinning until it is stopped.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return {};
    }
    std::string line = transport_->Receive(terminator_, kLineReadTimeoutMs);
    if (!line.empty()) {
        char tag[] = "RECV";
        // The log turns line feeds into blanks in place; the changed line is handed on.
        _WriteLog(tag, line.data());
    }
    return line;
}

int KStreamCom::Read(char* buffer, int n)
{
    int waiting = GetRxCount();
    int m = n < waiting ? n : waiting;
    if (m <= 0) {
        return -1;
    }
    return RxFifoGet(buffer, m);
}

int KStreamCom::Write(const char* data, int /*length: the text goes up to its zero byte*/)
{
    if (!transport_ || data == nullptr) {
        return 0;
    }
    return transport_->Send(data) ? 1 : 0;
}

std::string KStreamCom::GetName()
{
    return transport_ ? transport_->GetName() : "";
}

bool KStreamCom::IsPresent()
{
    return transport_ && transport_->IsPresent();
}

void KStreamCom::StartRecv()
{
    if (reader_) {
        reader_->StartRecv();
    }
}
