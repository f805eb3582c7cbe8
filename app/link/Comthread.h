#pragma once
// The communication thread of an open link: it waits until the reader thread has put
// received bytes into the receive FIFO, takes them (at most 80 bytes a hand-over) and hands
// them to the communication module's receive callback on its own thread. It owns the stream
// (and through it the transport and the reader thread) and carries the GUI thread's writes.

#include "platform/Event.h"
#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

class KStreamCom;

// Called with the bytes of one hand-over (zero-terminated) and a pointer to their count;
// both are valid only during the call.
using ComRecvCallback = void (*)(char* data, int* count);

// The process-wide wake-up event (auto-reset) that the reader's put signals: the running
// communication thread's event, none while no communication thread runs.
qmr::platform::Event* ComWakeEvent();

class ComThread : public qmr::platform::Thread {
public:
    static constexpr int kMaxTake = 80;
    static constexpr int kWaitSliceMs = 1000;

    // Made suspended; owns the stream from here on.
    explicit ComThread(KStreamCom* stream);
    ~ComThread() override;

    // Sends the text through the stream: 1 when it went out whole, 0 otherwise.
    int Write(const char* text);
    void RequestStop();
    void SetCallback(ComRecvCallback callback) { callback_.store(callback); }
    // Waits at most 1000 ms until the thread runs; true when it does.
    bool WaitStarted();
    // 0 made, 1 running, 2 ended.
    int State() const { return state_.load(); }

protected:
    void Execute() override;

private:
    void DeleteStream();

    // The GUI thread's write against the loop's end: held only to take the stream and count
    // the write, never across it.
    std::mutex streamMutex_;
    std::condition_variable writeDone_;
    int writing_ = 0;
    KStreamCom* stream_;
    std::atomic<int> state_{0};
    std::atomic<ComRecvCallback> callback_{nullptr};
    char buffer_[kMaxTake + 1] = {};
    int count_ = 0;
    qmr::platform::Event wake_{qmr::platform::Event::Reset::Auto};
    qmr::platform::Event running_{qmr::platform::Event::Reset::Manual};
};
