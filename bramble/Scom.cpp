#include "Scom.h"

#include "Scomlog.h"

#include <algorithm>
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
}

int LineBuffer::Find(std::string_view term, int len) const
{
    const int t = static_cast<int>(term.size());
    if (t == 0) {
        return -1;
    }
    for (int i = 0; i + t <= len; ++i) {
        if (std::memcmp(data_ + i, term.data(), static_cast<size_t>(t)) == 0) {
            return i;
        }
    }
    return -1;
}

bool LineBuffer::HasLine(std::string_view term, int pending) const
{
    return Find(term, count_ + std::clamp(pending, 0, Room())) >= 0;
}

int LineBuffer::ExtractLine(std::string_view term, char* buf, int max)
{
    if (buf == nullptr || max < 0) {
        return -1;
    }
    const int k = Find(term, count_);
    if (k < 0) {
        return -1;
    }
    const int n = std::min(k, max);
    std::memcpy(buf, data_, static_cast<size_t>(n));
    buf[n] = '\0';
    // The rest of an over-long line goes with it, as does the terminator.
    const int removed = k + static_cast<int>(term.size());
    std::memmove(data_, data_ + removed, static_cast<size_t>(count_ - removed));
    count_ -= removed;
    data_[count_] = '\0';
    return n;
}

void LineBuffer::DropUnterminated(std::string_view term)
{
    int keep = 0;
    const int longest = std::min(static_cast<int>(term.size()) - 1, count_);
    for (int len = longest; len > 0; --len) {
        if (std::memcmp(data_ + count_ - len, term.data(), static_cast<size_t>(len)) == 0) {
            keep = len;
            break;
        }
    }
    std::memmove(data_, data_ + count_ - keep, static_cast<size_t>(keep));
    count_ = keep;
    data_[count_] = '\0';
}

// ---- Terminator ------------------------------------------------------------------------

void Terminator::Set(const char* text)
{
    length_ = 0;
    if (text != nullptr) {
        while (length_ < kMaxLength && text[length_] != '\0') {
            text_[length_] = text[length_];
            ++length_;
        }
    }
    text_[length_] = '\0';
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
    const int n = text == nullptr ? 0 : static_cast<int>(strnlen(text, static_cast<size_t>(len)));
    if (!port_.Write(text, n)) {
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
        return -1;
    }
    SetLineMode(true);
    const std::string term = ReceiveTerminator();
    return lineBuffer_.ReceiveLine(term, buf, max, [this](char* dst, int room) {
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
    std::lock_guard<std::mutex> lock(termLock_);
    receiveTerm_.Set(term);
    sendTerm_.Set(term);
}

std::string CSCom::ReceiveTerminator() const
{
    std::lock_guard<std::mutex> lock(termLock_);
    return std::string(receiveTerm_.View());
}

std::string CSCom::SendTerminator() const
{
    std::lock_guard<std::mutex> lock(termLock_);
    return std::string(sendTerm_.View());
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
        std::string joined(text == nullptr ? "" : text, text == nullptr ? 0 : strnlen(text, static_cast<size_t>(len)));
        joined += SendTerminator();
        return SendN(joined.data(), static_cast<int>(joined.size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int CSComOv::Recv(char* buf, int max)
{
    if (buf == nullptr || max < 0) {
        return -1;
    }
    SetLineMode(true);
    const std::string term = ReceiveTerminator();
    return lineBuffer_.ReceiveLine(term, buf, max, [this, &term](char* dst, int room) {
        // The read ends as soon as the bytes complete a line, not one interval later.
        return ReadOverlapped(dst, room, [this, &term](int got) { return lineBuffer_.HasLine(term, got); });
    });
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
