#include "Com232.h"

#include "Wenportfnc.h"
#include "bramble/Bramble.h"
#include "platform/PortNames.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

// ---------------------------------------------------------------------------------------
// USB virtual COM port

KComRs232c::KComRs232c(int portIndex, int baudRate) : portIndex_(portIndex), baudRate_(baudRate)
{
}

bool KComRs232c::Open()
{
    char settings[64];
    std::snprintf(settings, sizeof settings, "baud=%d parity=N data=8 stop=1", baudRate_);
    handle_.store(_Rs232Open(portIndex_, settings));
    return handle_.load() >= 0;
}

void KComRs232c::Close()
{
    int handle = handle_.exchange(-1);
    if (handle >= 0) {
        _Rs232Close(handle);
    }
}

bool KComRs232c::Send(const char* text)
{
    if (!IsOpen() || text == nullptr) {
        return false;
    }
    return _Rs232SendN(portIndex_, text, static_cast<int>(std::strlen(text))) == 1;
}

bool KComRs232c::PortLost() const
{
    return !qmr::platform::ComDeviceExists(portIndex_ + 1);
}

std::string KComRs232c::Receive(const char* terminator, int /*timeoutMs: the port's own time-outs apply*/)
{
    if (!IsOpen()) {
        return {};
    }
    if (terminator == nullptr || terminator[0] == '\0') {
        return ReceiveRaw();
    }
    std::strncpy(terminator_, terminator, 2);
    terminator_[2] = '\0';
    _Rs232CrLf(portIndex_, terminator_);

    char buffer[129];
    const int got = _Rs232Recv(portIndex_, buffer, 128);
    const int error = errno;
    if (got > 0) {
        buffer[got < 128 ? got : 128] = '\0';
        return std::string(buffer);
    }
    // The open port itself is judged, not its name, which may lead to another device by now: a
    // read that failed but for want of a line (an unplug, a hang-up, a revoked descriptor)
    // fails again at once and for ever. It is reported like a lost network link, so that the
    // reader ends and the window goes local.
    if (got < 0 && error != EAGAIN && error != EINTR) {
        return kLinkDisconnected;
    }
    return {};
}

std::string KComRs232c::ReceiveRaw()
{
    int waiting = _Rs232RecvLen(portIndex_);
    if (waiting <= 0) {
        // No read is made here (a real port counts nothing waiting): only the name can tell.
        if (PortLost()) {
            return kLinkDisconnected;
        }
        // Raw reads never wait: a short pause keeps the reader from spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return {};
    }
    std::vector<char> buffer(static_cast<size_t>(waiting) + 1, '\0');
    if (_Rs232RecvN(portIndex_, buffer.data(), waiting) > 0) {
        return std::string(buffer.data());
    }
    return {};
}

bool KComRs232c::IsPresent()
{
    return IsActiveUsbCom(portIndex_ + 1);
}
