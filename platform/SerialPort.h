#pragma once
// A serial device node driven through termios: opened exclusively by COM number, set up from
// a line-settings text, read with a deadline and written until done or stalled. One thread may
// read while another writes, and a third may close the port under both: the close wakes them
// at once and releases the device once they have left.

#include "platform/CommSettings.h"

#include <condition_variable>
#include <functional>
#include <mutex>
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
    // A write gives up when the device has taken nothing for this long (a peer that stopped
    // reading); one that keeps making progress runs as long as it takes.
    static constexpr int kWriteStallMs = 5000;

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
    // any step fails; nothing stays open then. Input that arrived before the open is dropped.
    bool Open(int comNumber, const CommSettings& settings);
    // What made the last Open fail; error 0 after one that succeeded.
    const SerialOpenFailure& LastOpenFailure() const { return openFailure_; }
    // Ends every read and write in progress at once, waits until they have returned, lets the
    // driver send what it holds (for a quarter of a second at most), then releases the device. Not to be
    // called from inside a read or write of this port.
    void Close();
    bool IsOpen() const;

    // Reads up to `n` bytes into `buf` (no NUL added) under the read deadlines; ends early
    // when `n` bytes came or `done` says so. The count (0 when nothing came in time), or -1
    // when the port is closed or the line failed or hung up before any byte came; errno then
    // tells why: EBADF for a port closed (or closing, or a descriptor gone bad), EIO for a
    // hang-up or an end of file, EINVAL for bad arguments, else the failing call's error.
    int Read(char* buf, int n, const ReadDone& done = {});
    // Writes all `n` bytes; waits while the device cannot take more. False when the port is
    // closed (also by a Close during the write), the line failed or hung up, or the device took
    // nothing for kWriteStallMs; the unsent rest of a write that gave up is discarded.
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
    class Use;

    bool SetModemBits(int bits, bool on);
    // Read's work; on -1 `error` holds the reason that Read leaves in errno.
    int ReadUnderDeadlines(char* buf, int n, const ReadDone& done, int& error);

    bool FailOpen(const std::string& node, int error);

    // Guards the descriptors and the count of reads and writes using them, so that a close
    // never releases a descriptor that another thread is still polling.
    mutable std::mutex lock_;
    mutable std::condition_variable idle_;
    int fd_ = -1;
    int wakeFd_ = -1; // becomes readable when a close begins
    mutable int users_ = 0;
    bool closing_ = false;
    SerialOpenFailure openFailure_;
};

} // namespace qmr::platform
