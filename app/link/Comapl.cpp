#include "Comapl.h"

#include "Comtcpip.h"
#include "Kstream.h"
#include "app/core/Applog.h"
#include "bramble/Bramble.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>
#include <chrono>
#include <exception>
#include <thread>

namespace {

// The toolkit's exception display, for an error raised while a USB stream is made.
void ShowException(const char* what)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return;
    }
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromLocal8Bit(what));
}

// Wraps an opened transport in a stream; none when that fails (the transport goes with it).
KStreamCom* WrapTransport(KCom* transport)
{
    KStreamCom* stream = nullptr;
    try {
        stream = new KStreamCom(0, transport);
    } catch (...) {
        transport->Close();
        delete transport;
        throw;
    }
    if (!stream->Opened()) {
        delete stream;
        return nullptr;
    }
    return stream;
}

ComThread* MakeLink(KStreamCom* stream, const char* terminator, ComRecvCallback callback, const char* failTag)
{
    if (stream == nullptr) {
        return nullptr;
    }
    stream->SetTerminator(terminator);
    ComThread* thread = MakeComThread(stream);
    if (thread == nullptr) {
        LogLine(failTag, "ERROR");
        return nullptr;
    }
    thread->SetCallback(callback);
    stream->StartRecv();
    return thread;
}

} // namespace

ComThread* MakeCom232(int portIndex, int baudRate, const char* terminator, ComRecvCallback callback)
{
    return MakeLink(CreateRs232cCom(portIndex, baudRate), terminator, callback, "MakeCom232:MakeComThread");
}

ComThread* MakeComTcpip(const char* host, uint16_t tcpPort, const char* terminator, ComRecvCallback callback)
{
    return MakeLink(CreateTcpipCom(host, tcpPort), terminator, callback, "MakeComTcpip:MakeComThread");
}

KStreamCom* CreateRs232cCom(int portIndex, int baudRate)
{
    KComRs232c* transport = nullptr;
    try {
        transport = new KComRs232c(portIndex, baudRate);
        if (!transport->Open()) {
            delete transport;
            return nullptr;
        }
        KCom* opened = transport;
        transport = nullptr; // the stream owns it from here on, also when it fails
        return WrapTransport(opened);
    } catch (const std::exception& e) {
        if (transport != nullptr) {
            transport->Close();
            delete transport;
        }
        ShowException(e.what());
        return nullptr;
    }
}

KStreamCom* CreateTcpipCom(const char* host, uint16_t tcpPort)
{
    LogLine("new", "KComTcpip");
    KComTcpip* transport = nullptr;
    try {
        transport = new KComTcpip(tcpPort, host);
    } catch (...) {
        return nullptr;
    }
    LogLine("make", "KComTcpip");
    bool connected = false;
    try {
        connected = transport->Open();
    } catch (...) {
        connected = false;
    }
    if (!connected) {
        delete transport;
        transport = nullptr;
    }
    LogLine("connect", "KComTcpip");
    if (transport == nullptr) {
        return nullptr;
    }
    try {
        return WrapTransport(transport);
    } catch (...) {
        return nullptr;
    }
}

ComThread* MakeComThread(KStreamCom* stream)
{
    ComThread* thread = nullptr;
    try {
        thread = new ComThread(stream);
    } catch (...) {
        delete stream;
        return nullptr;
    }
    try {
        thread->Start();
    } catch (...) {
        // The thread could not be made: its destruction deletes the stream.
    }
    if (thread->WaitStarted()) {
        return thread;
    }
    CloseComThread(thread);
    return nullptr;
}

bool CloseComThread(ComThread* thread)
{
    if (thread == nullptr) {
        return false;
    }
    thread->RequestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int look = 0; look < 10 && thread->State() == 0; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    bool began = thread->State() != 0;
    if (!began) {
        char tag[] = "CloseComThread:Time OVER!";
        _WriteNumLog(tag, 0);
    }
    // Waits until the loop has ended and has deleted the stream (and so the reader thread).
    delete thread;
    return began;
}
