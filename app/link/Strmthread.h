#pragma once
// The reader thread of a link: reads the stream's transport line by line and hands every
// line that is not empty to its line callback (the receive FIFO's put). It ends on its stop
// flag, on a read error, or when the transport reports the link lost.

#include "platform/Event.h"
#include "platform/Thread.h"

#include <atomic>
#include <functional>

class KStreamCom;

// Called with a line's bytes and a pointer to their count; valid only during the call.
using LineCallback = void (*)(char* data, int* length);

// The request that the reader makes after it has ended on a lost link: take the instrument
// window back to the local, disconnected state. The start-up window registers it; it runs on
// the reader thread and must only hand the request to the GUI thread. None: nothing is asked.
void SetLinkLostHandler(std::function<void()> handler);

class TThreadStream : public qmr::platform::Thread {
public:
    // Runs at once; reading begins after StartRecv.
    explicit TThreadStream(KStreamCom* owner);
    ~TThreadStream() override;

    void SetStop();
    void SetCallback(LineCallback callback) { callback_.store(callback); }
    void StartRecv();

    // 0 made, 1 running, 2 ended.
    int State() const { return state_.load(); }
    // Waits until the state is above 0 or `timeoutMs` passed; true when it is.
    bool WaitRunning(int timeoutMs);
    // True when the loop ended because the link was lost (or a read failed).
    bool LinkLost() const { return linkLost_.load(); }

protected:
    void Execute() override;

private:
    KStreamCom* owner_;
    std::atomic<int> state_{0};
    std::atomic<LineCallback> callback_{nullptr};
    std::atomic<bool> start_{false};
    std::atomic<bool> linkLost_{false};
    // Wakes the start wait at once on StartRecv or SetStop.
    qmr::platform::Event flagsChanged_{qmr::platform::Event::Reset::Manual};
    qmr::platform::Event running_{qmr::platform::Event::Reset::Manual};
};
