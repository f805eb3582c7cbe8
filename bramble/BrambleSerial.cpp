// The serial exports: a table of 256 port slots addressed by the caller's port index (index n
// is COM n + 1), and the two switches beside it. Callers never hold a port object; the table
// owns them. Opening, reopening and closing a slot must not overlap other calls on that slot
// (the caller stops its receiving thread first); different slots are independent.

#include "Bramble.h"
#include "BrambleSwitches.h"
#include "Scom.h"
#include "Scomdmy.h"

#include <array>
#include <atomic>
#include <new>

namespace bramble {

namespace {

constexpr int kPortCount = 256;

// Objects left here when the library is unloaded are not closed by it.
std::array<CSCom*, kPortCount> gPortTable{};
std::atomic<unsigned char> gDummyMode{0};
std::atomic<unsigned char> gBeepEnabled{1};

bool InRange(int index)
{
    return index >= 0 && index < kPortCount;
}

// The slot's object, or null for an index out of range or an empty slot.
CSCom* PortAt(int index)
{
    return InRange(index) ? gPortTable[static_cast<size_t>(index)] : nullptr;
}

// A new port object for an empty slot: the dummy port when dummy mode is exactly 1.
CSCom* MakePort(unsigned char dummyMode)
{
    if (dummyMode == 1) {
        return new (std::nothrow) CSComDmy;
    }
    return new (std::nothrow) CSComOv;
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
    CSCom*& slot = bramble::gPortTable[static_cast<size_t>(index)];
    // An occupied slot keeps its object (kind, terminators and buffered bytes alike).
    if (slot != nullptr) {
        slot->Close();
    } else {
        slot = bramble::MakePort(bramble::gDummyMode.load());
        if (slot == nullptr) {
            return -1;
        }
    }
    bool opened = false;
    try {
        opened = slot->Open(index, settings);
    } catch (...) {
        opened = false;
    }
    if (opened) {
        return index;
    }
    // A failed open removes the port, also one that was reused.
    delete slot;
    slot = nullptr;
    return -1;
}

BRAMBLE_API void _Rs232Close(int index)
{
    if (!bramble::InRange(index)) {
        return;
    }
    CSCom*& slot = bramble::gPortTable[static_cast<size_t>(index)];
    if (slot != nullptr) {
        slot->Close();
        delete slot;
        slot = nullptr;
    }
}

BRAMBLE_API void _Rs232Name(int index, const char* name)
{
    if (CSCom* port = PortAt(index)) {
        port->SetName(name);
    }
}

BRAMBLE_API int _Rs232CrLf(int index, const char* term)
{
    if (!bramble::InRange(index)) {
        return 0;
    }
    // The port keeps its own copy, so the caller's text need not outlive the call.
    if (CSCom* port = PortAt(index)) {
        port->SetTerminators(term);
    }
    return 1;
}

BRAMBLE_API unsigned char _Rs232Send(int index, const char* text, int len)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->Send(text, len));
}

BRAMBLE_API unsigned char _Rs232SendN(int index, const void* data, int len)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SendN(data, len));
}

BRAMBLE_API int _Rs232Recv(int index, char* buf, int max)
{
    CSCom* port = PortAt(index);
    return port != nullptr ? port->Recv(buf, max) : -1;
}

BRAMBLE_API int _Rs232RecvN(int index, char* buf, int n)
{
    CSCom* port = PortAt(index);
    return port != nullptr ? port->RecvN(buf, n) : -1;
}

BRAMBLE_API int _Rs232RecvLen(int index)
{
    CSCom* port = PortAt(index);
    return port != nullptr ? port->RecvLen() : -1;
}

BRAMBLE_API void _Rs232BufferClear(int index)
{
    CSCom* port = PortAt(index);
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
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->GetSignalState(state));
}

BRAMBLE_API unsigned char _Rs_SetSignalState(int index, int func)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetSignalState(func));
}

BRAMBLE_API unsigned char _Rs_SetRts(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetRts());
}

BRAMBLE_API unsigned char _Rs_SetDtr(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetDtr());
}

BRAMBLE_API unsigned char _Rs_SetBreak(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->SetBreak());
}

BRAMBLE_API unsigned char _Rs_ClrRts(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrRts());
}

BRAMBLE_API unsigned char _Rs_ClrDtr(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrDtr());
}

BRAMBLE_API unsigned char _Rs_ClrBreak(int index)
{
    CSCom* port = PortAt(index);
    return bramble::Flag(port != nullptr && port->ClrBreak());
}
