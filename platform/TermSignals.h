#pragma once
// SIGTERM and SIGINT as a readable descriptor (a self-pipe): the handler writes one byte per
// signal, so a program's event loop can watch the descriptor and close in order instead of
// being killed in the middle of a write.

namespace qmr::platform {

class TermSignals {
public:
    // Installs the handlers once and returns the pipe's read end; -1 when that failed.
    static int Open();
    // Reads what is pending; returns the last signal number read, 0 when none.
    static int Take();
};

} // namespace qmr::platform
