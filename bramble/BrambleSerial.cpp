// The serial exports: a table of 256 port slots addressed by the caller's port index (index n
// is COM n + 1), and the two switches beside it. Callers never hold a port object; the table
// owns them. Every call holds the slot's object for as long as it runs, so a close (from
// another thread, or from a message loop that a dummy port's wait runs) empties the slot at
// once, wakes what waits on the port, and the object goes when the last call on it returns.

#include "Bramble.h"
#include "BrambleSwitches.h"
#include "Scom.h"
#include "Scomdmy.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <new>

namespace bramble {

namespace {

constexpr int kPortCount = 256;

using PortRef = std::shared_ptr<CSCom>;

// Held only to read or change a slot, never across a port operation.
std::mutex gTableLock;
// Made once and never destroyed: a thread may still be inside an export on one of these ports
// while the process ends, and the ports left here then are neither closed nor freed.
std::array<PortRef, kPortCount>& gPortTable = *new std::array<PortRef, kPortCount>{};
std::atomic<unsigned char> gDummyMode{0};
std::atomic<unsigned char> gBeepEnabled{1};

bool InRange(int index)
{
    return index >= 0 && index < kPortCount;
}

// The slot's object, held for the caller's call, or null for an index out of range or an
// empty slot.
PortRef PortAt(int index)
{
    if (!InRange(index)) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(gTableLock);
    return gPortTable[static_cast<size_t>(index)];
}

// Empties the slot when it still holds `port`: a close or a failed open that came first has
// already done so, and a port opened since then stays.
void RemoveIfHeld(int index, const PortRef& port)
{
    std::lock_guard<std::mutex> lock(gTableLock);
    PortRef& slot = gPortTable[static_cast<size_t>(index)];
    if (slot == port) {
        slot.reset();
    }
}

// A new port object for an empty slot: the dummy port when dummy mode is exactly 1.
PortRef MakePort(unsigned char dummyMode)
{
    CSCom* port = nullptr;
    if (dummyMode == 1) {
        port = new (std::nothrow) CSComDmy;
    } else {
        port = new (std::nothrow) CSComOv;
    }
    if (port == nullptr) {
        return nullptr;
    }
    try {
        return PortRef(port);
    } catch (const std::bad_alloc&) {
        delete port;
        return nullptr;
    }
}

unsigned char Flag(bool ok)
{
    return ok ? 1 : 0;
}

} // namespace

unsigned char DummyMode()
{
    return gDummyMode.load();
}

unsigned char BeepEnabled()
{
    return gBeepEnabled.load();
}

} // namespace bramble

using bramble::CSCom;
using bramble::PortAt;

// Nothing in the library writes it: each dummy port keeps its own window.
extern "C" {
__attribute__((visibility("default"))) TFormDlgSioDmy* _FormDlgSioDmy = nullptr;
}

BRAMBLE_API unsigned char _SetSioDmy(unsigned char on)
{
    bramble::gDummyMode.store(on);
    return on;
}

BRAMBLE_API unsigned char _EnbBeep(unsigned char on)
{
    bramble::gBeepEnabled.store(on);
    return on;
}

BRAMBLE_API int _Rs232Open(int index, const char* settings)
{
    if (!bramble::InRange(index)) {
        return -1;
    }
    bramble::PortRef port;
    {
        std::lock_guard<std::mutex> lock(bramble::gTableLock);
        bramble::PortRef& slot = bramble::gPortTable[static_cast<size_t>(index)];
        if (slot == nullptr) {
            slot = bramble::MakePort(bramble::gDummyMode.load());
        }
        port = slot;
    }
    if (port == nullptr) {
        return -1;
    }
    // An occupied slot keeps its object (kind, terminators and buffered bytes alike).
    port->Close();
    bool opened = false;
    try {
        opened = port->Open(index, settings);
    } catch (...) {
        opened = false;
    }
    if (opened) {
        return index;
    }
    // A failed open removes the port, also one that was reused.
    bramble::RemoveIfHeld(index, port);
    return -1;
}

BRAMBLE_API void _Rs232Close(int index)
{
    bramble::PortRef port = PortAt(index);
    if (port == nullptr) {
        return;
    }
    bramble::RemoveIfHeld(index, port);
    // Ends what waits on the port now; the object itself goes with the last call holding it.
    port->Close();
}

BRAMBLE_API void _Rs232Name(int index, const char* name)
{
    if (bramble::PortRef port = PortAt(index)) {
        port->SetName(name);
    }
}

BRAMBLE_API int _Rs232CrLf(int index, const char* term)
{
    if (!bramble::InRange(index)) {
        return 0;
    }
    // The port keeps its own copy, so the caller's text need not outlive the call.
    if (bramble::PortRef port = PortAt(index)) {
        port->SetTerminators(term);
    }
    return 1;
}

BRAMBLE_API unsigned char _Rs232Send(int index, const char* text, int len)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->Send(text, len));
}

BRAMBLE_API unsigned char _Rs232SendN(int index, const void* data, int len)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SendN(data, len));
}

BRAMBLE_API int _Rs232Recv(int index, char* buf, int max)
{
    int got = -1;
    int error = EBADF; // no port in the slot
    {
        bramble::PortRef port = PortAt(index);
        if (port != nullptr) {
            got = port->Recv(buf, max);
            error = errno;
        }
    }
    // Set once the hold on the port has ended (which may free it), for the caller to read.
    if (got < 0) {
        errno = error;
    }
    return got;
}

BRAMBLE_API int _Rs232RecvN(int index, char* buf, int n)
{
    bramble::PortRef port = PortAt(index);
    return port != nullptr ? port->RecvN(buf, n) : -1;
}

BRAMBLE_API int _Rs232RecvLen(int index)
{
    bramble::PortRef port = PortAt(index);
    return port != nullptr ? port->RecvLen() : -1;
}

BRAMBLE_API void _Rs232BufferClear(int index)
{
    bramble::PortRef port = PortAt(index);
    if (port == nullptr) {
        return;
    }
    // A real port counts nothing waiting, so this returns at once there.
    while (true) {
        const int waiting = port->RecvLen();
        if (waiting <= 0) {
            return;
        }
        for (int i = 0; i < waiting; ++i) {
            char scratch[2];
            if (port->ReadRawClear(scratch, 1) != 1) {
                return;
            }
        }
    }
}

BRAMBLE_API unsigned char _Rs_GetSignalState(int index, unsigned long* state)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->GetSignalState(state));
}

BRAMBLE_API unsigned char _Rs_SetSignalState(int index, int func)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetSignalState(func));
}

BRAMBLE_API unsigned char _Rs_SetRts(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetRts());
}

BRAMBLE_API unsigned char _Rs_SetDtr(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetDtr());
}

BRAMBLE_API unsigned char _Rs_SetBreak(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetBreak());
}

BRAMBLE_API unsigned char _Rs_ClrRts(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrRts());
}

BRAMBLE_API unsigned char _Rs_ClrDtr(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrDtr());
}

BRAMBLE_API unsigned char _Rs_ClrBreak(int index)
{
    bramble::PortRef port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrBreak());
}
