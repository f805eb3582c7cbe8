#pragma once
// A serial device node driven through termios: opened exclusively by COM number, set up from
// a line-settings text, read with a deadline and written until done. One thread may read
// while another writes; opening and closing must not overlap either.

#include "platform/CommSettings.h"

#include <functional>
#include <string>

namespace qmr::platform {

// The modem status lines as the device reports them.
struct ModemLines {
    bool cts = false;
    bool dsr = false;
    bool ring = false;
    bool dcd = false;
};

// Why an open failed: the device node tried (empty when the COM number names none), where it
// leads when it is a ports/ link, and the errno of the step that failed.
struct SerialOpenFailure {
    std::string node;
    std::string linkTarget;
    int error = 0;
};

class SerialPort {
public:
    // A read ends 100 ms after the last byte once one has come, and after 1000 ms in all.
    static constexpr int kReadTotalMs = 1000;
    static constexpr int kReadIntervalMs = 100;

    // Asked after every chunk that a read brings with the count read so far; true ends the
    // read at once (a caller that sees a complete line need not wait for the interval).
    using ReadDone = std::function<bool(int got)>;

    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device node of `comNumber` (the port-name rule) for reading and writing, held
    // exclusively against other programs (TIOCEXCL, and an advisory lock that binds root as
    // well), in raw mode with `settings` applied, DTR and RTS raised, no XON/XOFF. False when
    // any step fails; nothing stays open then.
    bool Open(int comNumber, const CommSettings& settings);
    // What made the last Open fail; error 0 after one that succeeded.
    const SerialOpenFailure& LastOpenFailure() const { return openFailure_; }
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to `n` bytes into `buf` (no NUL added) under the read deadlines; ends early
    // when `n` bytes came or `done` says so. The count (0 when nothing came in time), or -1
    // when the port is closed or the line failed or hung up before any byte came.
    int Read(char* buf, int n, const ReadDone& done = {});
    // Writes all `n` bytes; waits while the device cannot take more. False when the port is
    // closed or the line failed or hung up.
    bool Write(const void* data, int n);
    // Bytes waiting in the driver's input queue, or -1.
    int InputWaiting() const;

    bool GetModemLines(ModemLines& lines) const;
    bool SetRts(bool on);
    bool SetDtr(bool on);
    bool SetBreak(bool on);
    // Holds or releases the output as if XOFF or XON had been received.
    bool HoldOutput(bool hold);

private:
    bool SetModemBits(int bits, bool on);

    bool FailOpen(const std::string& node, int error);

    int fd_ = -1;
    SerialOpenFailure openFailure_;
};

} // namespace qmr::platform
