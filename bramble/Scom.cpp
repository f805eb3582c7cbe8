#include "Scom.h"

#include "Scomlog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace bramble {

// ---- LineBuffer ------------------------------------------------------------------------

void LineBuffer::Commit(int n)
{
    n = std::clamp(n, 0, Room());
    count_ += n;
    data_[count_] = '\0';
}

void LineBuffer::Clear()
{
    count_ = 0;
    data_[0] = '\0';
    skipping_ = false;
}

int LineBuffer::Find(std::string_view term, int from, int len) const
{
    const int t = static_cast<int>(term.size());
    if (t == 0) {
        return -1;
    }
    for (int i = from; i + t <= len; ++i) {
        if (std::memcmp(data_ + i, term.data(), static_cast<size_t>(t)) == 0) {
            return i;
        }
    }
    return -1;
}

void LineBuffer::Remove(int n)
{
    std::memmove(data_, data_ + n, static_cast<size_t>(count_ - n));
    count_ -= n;
    data_[count_] = '\0';
}

bool LineBuffer::HasLine(std::string_view term, int pending) const
{
    const int len = count_ + std::clamp(pending, 0, Room());
    int at = Find(term, 0, len);
    if (at >= 0 && skipping_) {
        at = Find(term, at + static_cast<int>(term.size()), len); // the first ends a dropped line
    }
    return at >= 0;
}

int LineBuffer::ExtractLine(std::string_view term, char* buf, int max)
{
    if (buf == nullptr || max < 0) {
        return -1;
    }
    DropSkipped(term);
    const int k = Find(term, 0, count_);
    if (k < 0) {
        return -1;
    }
    const int n = std::min(k, max);
    std::memcpy(buf, data_, static_cast<size_t>(n));
    buf[n] = '\0';
    // The rest of an over-long line goes with it, as does the terminator.
    Remove(k + static_cast<int>(term.size()));
    return n;
}

void LineBuffer::DropUnterminated(std::string_view term)
{
    KeepTerminatorStart(term);
    skipping_ = true;
}

void LineBuffer::DropSkipped(std::string_view term)
{
    if (!skipping_) {
        return;
    }
    const int end = Find(term, 0, count_);
    if (end < 0) {
        KeepTerminatorStart(term);
        return;
    }
    Remove(end + static_cast<int>(term.size()));
    skipping_ = false;
}

void LineBuffer::KeepTerminatorStart(std::string_view term)
{
    const int longest = std::min({static_cast<int>(term.size()) - 1, count_, kCapacity - 1});
    for (int len = longest; len > 0; --len) {
        if (std::memcmp(data_ + count_ - len, term.data(), static_cast<size_t>(len)) == 0) {
            Remove(count_ - len);
            return;
        }
    }
    Remove(count_);
}

// ---- CSCom -----------------------------------------------------------------------------

// The device descriptor, if still open, is released with the object.
CSCom::~CSCom() = default;

bool CSCom::Open(int index, const char* settings)
{
    if (index < 0 || index > 255 || settings == nullptr) {
        return false;
    }
    qmr::platform::CommSettings parsed;
    if (!qmr::platform::ParseCommSettings(settings, parsed)) {
        Close();
        return false;
    }
    if (!port_.Open(index + 1, parsed)) {
        LogOpenFailure(index, port_.LastOpenFailure());
        Close();
        return false;
    }
    return true;
}

void CSCom::Close()
{
    port_.Close();
}

bool CSCom::Send(const char* text, int len)
{
    if (len < 0 || (len > 0 && text == nullptr)) {
        return false;
    }
    if (!port_.Write(text, len)) {
        return false;
    }
    const std::string term = SendTerminator();
    return term.empty() || port_.Write(term.data(), static_cast<int>(term.size()));
}

bool CSCom::SendN(const void* data, int len)
{
    return port_.Write(data, len);
}

int CSCom::Recv(char* buf, int max)
{
    if (buf == nullptr || max < 0) {
        errno = EINVAL;
        return -1;
    }
    SetLineMode(true);
    const std::string term = ReceiveTerminator();
    // The read's success flag is not looked at: a line that is not there has just not come.
    const int length = lineBuffer_.ReceiveLine(term, buf, max, [this](char* dst, int room) {
        const int waiting = RecvLen();
        if (waiting == 0) {
            return 0;
        }
        // A failed query counts as more than there is room for.
        const int want = (waiting < 0 || waiting > room) ? room : waiting;
        unsigned long got = 0;
        ReadRaw(dst, want, &got);
        return static_cast<int>(std::min<unsigned long>(got, static_cast<unsigned long>(want)));
    });
    if (length < 0) {
        errno = EAGAIN;
    }
    return length;
}

int CSCom::RecvN(char* buf, int n)
{
    if (buf == nullptr || n < 0) {
        return -1;
    }
    SetLineMode(false);
    unsigned long got = 0;
    if (!ReadRaw(buf, n, &got)) {
        return -1;
    }
    const int count = static_cast<int>(std::min<unsigned long>(got, static_cast<unsigned long>(n)));
    buf[count] = '\0';
    return count;
}

int CSCom::ReadRawClear(char* buf, int n)
{
    int r = -1;
    if (buf != nullptr && n >= 0) {
        r = port_.Read(buf, n);
        if (r >= 0) {
            buf[r] = '\0';
        }
    }
    lineBuffer_.Clear();
    return r < 0 ? -1 : r;
}

int CSCom::RecvLen()
{
    return port_.InputWaiting();
}

bool CSCom::ReadRaw(void* buf, int n, unsigned long* got)
{
    const int r = port_.Read(static_cast<char*>(buf), n);
    if (got != nullptr) {
        *got = r > 0 ? static_cast<unsigned long>(r) : 0;
    }
    return r >= 0;
}

void CSCom::SetLineMode(bool)
{
}

void CSCom::SetName(const char*)
{
}

void CSCom::SetTerminators(const char* term)
{
    try {
        std::string copy = term == nullptr ? "" : term;
        std::lock_guard<std::mutex> lock(termLock_);
        receiveTerm_ = copy;
        sendTerm_ = std::move(copy);
    } catch (const std::bad_alloc&) {
        // No memory for the copy: the port keeps the terminators it had.
    }
}

std::string CSCom::ReceiveTerminator() const
{
    std::lock_guard<std::mutex> lock(termLock_);
    return receiveTerm_;
}

std::string CSCom::SendTerminator() const
{
    std::lock_guard<std::mutex> lock(termLock_);
    return sendTerm_;
}

int CSCom::ExtractLine(char* buf, int max)
{
    return lineBuffer_.ExtractLine(ReceiveTerminator(), buf, max);
}

bool CSCom::GetSignalState(unsigned long* state)
{
    qmr::platform::ModemLines lines;
    if (state == nullptr || !port_.GetModemLines(lines)) {
        return false;
    }
    *state = (lines.cts ? 0x10UL : 0) | (lines.dsr ? 0x20UL : 0) | (lines.ring ? 0x40UL : 0) | (lines.dcd ? 0x80UL : 0);
    return true;
}

bool CSCom::SetSignalState(int func)
{
    switch (func) {
    case 1:
        return port_.HoldOutput(true);
    case 2:
        return port_.HoldOutput(false);
    case 3:
        return port_.SetRts(true);
    case 4:
        return port_.SetRts(false);
    case 5:
        return port_.SetDtr(true);
    case 6:
        return port_.SetDtr(false);
    case 8:
        return port_.SetBreak(true);
    case 9:
        return port_.SetBreak(false);
    default:
        return false; // 7 (reset the device) cannot be done on a terminal
    }
}

// ---- CSComOv ---------------------------------------------------------------------------

bool CSComOv::Send(const char* text, int len)
{
    if (len < 0 || (len > 0 && text == nullptr)) {
        return false;
    }
    try {
        // One joined write, so that the terminator never goes out as a write of its own.
        std::string joined(text == nullptr ? "" : text, static_cast<size_t>(text == nullptr ? 0 : len));
        joined += SendTerminator();
        return SendN(joined.data(), static_cast<int>(joined.size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int CSComOv::Recv(char* buf, int max)
{
    if (buf == nullptr || max < 0) {
        errno = EINVAL;
        return -1;
    }
    SetLineMode(true);
    const std::string term = ReceiveTerminator();
    int failure = 0;
    const int length = lineBuffer_.ReceiveLine(term, buf, max, [this, &term, &failure](char* dst, int room) {
        // The read ends as soon as the bytes complete a line, not one interval later.
        const int r = ReadOverlapped(dst, room, [this, &term](int got) { return lineBuffer_.HasLine(term, got); });
        if (r < 0) {
            failure = errno;
        }
        return r;
    });
    // No line because none came in time, or because the port itself failed.
    if (length < 0) {
        errno = failure != 0 ? failure : EAGAIN;
    }
    return length;
}

int CSComOv::RecvLen()
{
    return 0;
}

int CSComOv::ReadOverlapped(char* buf, int n, const qmr::platform::SerialPort::ReadDone& done)
{
    return port_.Read(buf, n, done);
}

} // namespace bramble
