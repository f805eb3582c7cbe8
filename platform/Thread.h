#pragma once
// Thread base of the program's worker threads: derived classes put their loop in Execute.
// Every thread is made suspended; a thread that is to run at once calls Start at the end of
// its own constructor, so that Execute never runs against a half-built object. Destruction
// waits for the thread to end. The stop flag is only a request: Execute looks at it
// (Terminated) and ends by itself.

#include <atomic>
#include <thread>

namespace qmr::platform {

class Thread {
public:
    Thread() = default;
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts a thread made suspended; nothing for one that runs already.
    void Start();
    // Asks Execute to end (Terminated becomes true).
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    // Waits until Execute has returned; at once for a thread that never started.
    void WaitFor();
    // True once Execute has returned.
    bool Finished() const { return finished_.load(); }
    // True when Execute was entered.
    bool Began() const { return began_.load(); }

protected:
    virtual void Execute() = 0;
    // A derived destructor must call this first, so that Execute never runs against a
    // partly destroyed object: it requests the stop, starts a suspended thread so that it
    // can end (skipping Execute when the stop came before it began) and waits for it.
    void StopAndWait();

private:
    void Run();

    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> began_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> started_{false};
};

} // namespace qmr::platform
