#pragma once
// Bramble's serial ports. `CSCom` is the base: a port opened by port index with a settings
// text, with a line buffer that cuts the received bytes into lines at the receive terminator
// and a send terminator that a terminated send appends. `CSComOv` is the real port, whose
// receive may wait on one thread while another thread sends. The dummy port that a window
// stands in for derives from `CSCom` as well and uses the same twelve virtual operations.

#include "platform/SerialPort.h"

#include <mutex>
#include <string>
#include <string_view>

namespace bramble {

// The received bytes not yet handed out as lines: at most 255 of them, followed by a NUL.
// A received NUL byte is kept like any other byte; lines are found by the terminator alone.
// A line too long for the buffer is dropped whole: once its first bytes were dropped, the
// rest of it, up to and including its terminator, goes too, so that no fragment of it is
// ever handed out as a line.
class LineBuffer {
public:
    static constexpr int kCapacity = 255;

    int Count() const { return count_; }
    const char* Text() const { return data_; }
    int Room() const { return kCapacity - count_; }
    char* FreeSpace() { return data_ + count_; }
    // The rest of a dropped line is still to come and will be dropped.
    bool Skipping() const { return skipping_; }

    // Takes `n` bytes that were read into FreeSpace() (at most Room()).
    void Commit(int n);
    void Clear();

    // True when the buffer holds a line to hand out; with `pending`, also counts that many
    // bytes already read into FreeSpace() but not committed. An empty terminator ends no line.
    bool HasLine(std::string_view term, int pending = 0) const;

    // Drops what is left of a dropped line, then hands out the first line: its first
    // min(k, max) characters into `buf` (which holds max + 1 bytes) with a NUL after them, and
    // removes the whole line and its terminator. The count given, or -1 when no complete line
    // is buffered.
    int ExtractLine(std::string_view term, char* buf, int max);

    // A full buffer without a terminator can never make a line: drop its bytes, keeping only a
    // trailing beginning of the terminator, which the next bytes may complete, and drop the
    // rest of that line as it arrives.
    void DropUnterminated(std::string_view term);

    // One line receive: a line already buffered is handed out without reading; otherwise a
    // full buffer is dropped, `read(dst, room)` brings bytes (their count, or -1), and the line
    // that they complete is handed out. -1 when no complete line is there afterwards.
    template <class Read>
    int ReceiveLine(std::string_view term, char* buf, int max, Read&& read)
    {
        DropSkipped(term); // the terminator may have changed since the last receive
        if (HasLine(term)) {
            return ExtractLine(term, buf, max);
        }
        if (Room() == 0) {
            DropUnterminated(term);
        }
        int r = read(FreeSpace(), Room());
        if (r <= 0) {
            return -1;
        }
        Commit(r);
        return ExtractLine(term, buf, max);
    }

private:
    // Offset of the first terminator within bytes `from` to `len`, or -1.
    int Find(std::string_view term, int from, int len) const;
    // Removes the first `n` bytes.
    void Remove(int n);
    // While skipping: removes the rest of the dropped line and its terminator when they are
    // here, else all but a trailing beginning of the terminator.
    void DropSkipped(std::string_view term);
    // Removes all but the longest trailing beginning of the terminator (never all of a full
    // buffer, so that a read always has room).
    void KeepTerminatorStart(std::string_view term);

    char data_[kCapacity + 1] = {};
    int count_ = 0;
    bool skipping_ = false;
};

class CSCom {
public:
    CSCom() = default;
    // Closes nothing but what the object itself holds.
    virtual ~CSCom();
    CSCom(const CSCom&) = delete;
    CSCom& operator=(const CSCom&) = delete;

    // The twelve operations of a port, in this order.
    // Opens COM index + 1 with a settings text ("baud=19200 parity=N data=8 stop=1").
    virtual bool Open(int index, const char* settings);
    virtual void Close();
    // The first len bytes of text (NULs included), then the send terminator.
    virtual bool Send(const char* text, int len);
    virtual bool SendN(const void* data, int len);
    // One line without its terminator into buf (max + 1 bytes): its length, or -1 with errno
    // EAGAIN when no complete line came in time, another errno when the port itself failed
    // (a real port only: a hang-up, a closed or revoked descriptor).
    virtual int Recv(char* buf, int max);
    // Up to n raw bytes into buf (n + 1 bytes) and a NUL: their count, or -1.
    virtual int RecvN(char* buf, int n);
    // As RecvN's read, then the line buffer is emptied.
    virtual int ReadRawClear(char* buf, int n);
    // Bytes waiting in the driver, or -1.
    virtual int RecvLen();
    virtual bool ReadRaw(void* buf, int n, unsigned long* got);
    virtual void SetLineMode(bool on);
    virtual void SetName(const char* name);

    // Both terminators become a copy of `term`, whatever its length (null counts as empty).
    void SetTerminators(const char* term);
    std::string ReceiveTerminator() const;
    std::string SendTerminator() const;

    int ExtractLine(char* buf, int max);
    // The modem status bits: 0x10 CTS, 0x20 DSR, 0x40 ring, 0x80 carrier detect.
    bool GetSignalState(unsigned long* state);
    // One extended function: 1 hold output (XOFF), 2 release it (XON), 3 raise RTS, 4 drop
    // RTS, 5 raise DTR, 6 drop DTR, 8 start a break, 9 end it; anything else fails.
    bool SetSignalState(int func);
    bool SetRts() { return SetSignalState(3); }
    bool SetDtr() { return SetSignalState(5); }
    bool SetBreak() { return SetSignalState(8); }
    bool ClrRts() { return SetSignalState(4); }
    bool ClrDtr() { return SetSignalState(6); }
    bool ClrBreak() { return SetSignalState(9); }

    bool IsOpen() const { return port_.IsOpen(); }
    const LineBuffer& Buffer() const { return lineBuffer_; }

protected:
    qmr::platform::SerialPort port_;
    LineBuffer lineBuffer_;

private:
    // The receiving thread may set the terminators (before each line receive) while the
    // sending thread reads the send terminator.
    mutable std::mutex termLock_;
    std::string receiveTerm_{"\r\n"};
    std::string sendTerm_{"\r\n"};
};

// The platform port already reads under deadlines while another thread writes, so opening,
// closing, raw sends and raw reads are the base class's; only what differs is here.
class CSComOv : public CSCom {
public:
    // One joined write of the text and the terminator.
    bool Send(const char* text, int len) override;
    // A line receive whose read ends as soon as a line is complete.
    int Recv(char* buf, int max) override;
    // A real port does not count waiting input: always 0.
    int RecvLen() override;

    // One read under the port's deadlines: the count (0 when nothing came), or -1. `done`
    // may end it early.
    int ReadOverlapped(char* buf, int n, const qmr::platform::SerialPort::ReadDone& done = {});
};

} // namespace bramble
