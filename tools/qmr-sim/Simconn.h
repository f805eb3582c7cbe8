#pragma once
// One open face of the simulator (a TCP client or the pseudo-terminal's master side): the
// assembly of received bytes into command lines and the queue of bytes on their way out,
// written when due, whole or byte by byte at a given byte time. Used by the I/O thread only.

#include "Simfaults.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace qmrsim {

class Connection {
public:
    using Clock = std::chrono::steady_clock;

    // What the queue asks of its owner when a closing step comes due.
    enum class Action { Write, Fin, Reset, HangUp };

    // An input line longer than this is no command; it is dropped to bound the memory.
    static constexpr size_t kMaxInputLine = 65536;

    int fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    bool WantsWrite() const { return wantWrite_; }

    // Takes a descriptor (non-blocking) and forgets any earlier state.
    void Attach(int fd);
    // Forgets the descriptor (the owner closes it) and everything queued.
    void Detach();

    // Reads what is there and calls `onLine` for each complete, non-empty line; lines end in
    // LF, CR LF or CR. False when the peer closed or the read failed.
    bool ReadInput(const std::function<void(const std::string&)>& onLine);

    // Queues the reply plan of one line, due `delay` after `now` (plus the plan's own delay),
    // or not before Release when the plan holds it.
    void Enqueue(const ReplyPlan& plan, Clock::time_point now, Clock::duration delay);
    // What is held becomes due now.
    void Release();

    // Writes what is due. `onClose` is called for a closing step (it may detach this
    // connection). Gives the time this connection next needs attention (max: when writable or
    // never).
    Clock::time_point Pump(std::chrono::microseconds perByte, const std::function<void(Action)>& onClose);

private:
    struct Chunk {
        Action action = Action::Write;
        std::string bytes;
        size_t written = 0;
        Clock::time_point firstWrite;
        Clock::time_point notBefore;
        Clock::duration afterPrevious{0};
    };

    int fd_ = -1;
    std::string input_;
    bool lastWasCr_ = false;
    std::deque<Chunk> out_;
    bool headScheduled_ = false;
    Clock::time_point headDue_;
    Clock::time_point lastDone_;
    bool wantWrite_ = false;
};

} // namespace qmrsim
