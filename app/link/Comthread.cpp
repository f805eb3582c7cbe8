#include "Comthread.h"

#include "Kstream.h"

#include <chrono>
#include <cstring>

namespace {

std::atomic<qmr::platform::Event*> gWakeEvent{nullptr};

} // namespace

qmr::platform::Event* ComWakeEvent()
{
    return gWakeEvent.load();
}

ComThread::ComThread(KStreamCom* stream) : stream_(stream)
{
}

ComThread::~ComThread()
{
    RequestStop();
    StopAndWait();
    // A thread stopped before its loop began still owns its stream.
    DeleteStream();
}

int ComThread::Write(const char* text)
{
    KStreamCom* stream = nullptr;
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        if (stream_ == nullptr || text == nullptr) {
            return 0;
        }
        stream = stream_;
        ++writing_;
    }
    int result = 0;
    try {
        result = stream->Write(text, static_cast<int>(std::strlen(text))) == 1 ? 1 : 0;
    } catch (...) {
        result = 0;
    }
    {
        std::lock_guard<std::mutex> lock(streamMutex_);
        --writing_;
    }
    writeDone_.notify_all();
    return result;
}

void ComThread::RequestStop()
{
    Terminate();
    // The loop need not sit out its wait slice.
    wake_.Set();
}

bool ComThread::WaitStarted()
{
    if (state_.load() > 0) {
        return true;
    }
    running_.Wait(std::chrono::milliseconds(1000));
    return state_.load() > 0;
}

void ComThread::DeleteStream()
{
    KStreamCom* stream = nullptr;
    {
        // Writes come from the thread that also ends the link, so none is in progress here;
        // should one be, it ends before its stream goes.
        std::unique_lock<std::mutex> lock(streamMutex_);
        stream = stream_;
        stream_ = nullptr;
        writeDone_.wait(lock, [this] { return writing_ == 0; });
    }
    // Stops and waits for the reader thread, deletes the FIFO, closes the transport.
    delete stream;
}

void ComThread::Execute()
{
    gWakeEvent.store(&wake_);
    state_.store(1);
    running_.Set();

    // Set when the short idle after an empty take was itself ended by a put.
    bool signalled = false;
    while (!Terminated()) {
        try {
            if (!signalled) {
                while (!wake_.Wait(std::chrono::milliseconds(kWaitSliceMs)) && !Terminated()) {
                }
            }
            signalled = false;
            // Only this thread deletes the stream, so it may use it without the lock.
            int n = stream_->Read(buffer_, kMaxTake);
            if (n <= 0) {
                // A wake-up whose bytes an earlier take already handed over. Idle for 10 ms,
                // but a put that comes meanwhile is taken at once.
                if (!Terminated()) {
                    signalled = wake_.Wait(std::chrono::milliseconds(10));
                }
                continue;
            }
            // Hand over what the FIFO holds, at most 80 bytes at a time; what a full take
            // left behind goes at once rather than with the next, unrelated reply.
            for (;;) {
                count_ = n;
                if (ComRecvCallback callback = callback_.load()) {
                    callback(buffer_, &count_);
                }
                if (stream_->GetRxCount() <= 0) {
                    break;
                }
                n = stream_->Read(buffer_, kMaxTake);
                if (n <= 0) {
                    break;
                }
            }
        } catch (...) {
            // A failing pass is dropped; the next one begins.
        }
    }

    state_.store(2);
    DeleteStream();
    qmr::platform::Event* mine = &wake_;
    gWakeEvent.compare_exchange_strong(mine, nullptr);
}
