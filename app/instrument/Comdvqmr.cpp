#include "app/instrument/Comdvqmr.h"

#include "app/core/Applog.h"
#include "app/instrument/Scpinum.h"
#include "app/link/Commodul.h"
#include "bramble/Bramble.h"
#include "common/QmrUsbIds.h"
#include "wenport/Wenport.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <thread>

namespace {

const std::chrono::steady_clock::time_point gProcessStart = std::chrono::steady_clock::now();

int64_t SteadyClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gProcessStart)
        .count();
}

std::atomic<int64_t (*)()> gClock{nullptr};
std::atomic<void (*)(int)> gPause{nullptr};

// The time of the last gated send, one for the process. "None yet" is a state of its own, not
// a reserved time: every time the clock can give is a real stamp, and 64-bit milliseconds
// compare without wrapping for as long as a bench program runs.
class GateStamp {
public:
    std::optional<int64_t> Get() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return stamp_;
    }
    void Set(int64_t now)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stamp_ = now;
    }
    void Forget()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stamp_.reset();
    }

private:
    mutable std::mutex mutex_;
    std::optional<int64_t> stamp_;
};

GateStamp gGateStamp;

} // namespace

int64_t QmrClockMs()
{
    int64_t (*clock)() = gClock.load();
    return clock != nullptr ? clock() : SteadyClockMs();
}

void SetQmrClockForTest(int64_t (*clock)())
{
    gClock.store(clock);
    gGateStamp.Forget();
}

void QmrPause(int ms)
{
    void (*pause)(int) = gPause.load();
    if (pause != nullptr) {
        pause(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void SetQmrPauseForTest(void (*pause)(int ms))
{
    gPause.store(pause);
}

const char* CommandStateName(int state)
{
    switch (state) {
    case csIDLE:
        return "csIDLE";
    case csGETSTR:
        return "csGETSTR";
    case csKLOC:
        return "csKLOC";
    case csMODEQ:
        return "csMODEQ";
    case csIDNQ:
        return "csIDNQ";
    case csPPQ:
        return "csPPQ";
    case csILQ:
        return "csILQ";
    case csERRQ:
        return "csERRQ";
    case csKLOCQ:
        return "csKLOCQ";
    case csREM:
        return "csREM";
    case csLOCL:
        return "csLOCL";
    case csMODEIL:
        return "csMODEIL";
    case csMODEPP:
        return "csMODEPP";
    case csDBRANGE:
        return "csDBRANGE";
    case csSETESE:
        return "csSETESE";
    case csSETPP:
        return "csSETPP";
    case csSETDB:
        return "csSETDB";
    case csREADERR:
        return "csREADERR";
    case csREADSTB:
        return "csREADSTB";
    case csREADESR:
        return "csREADESR";
    default:
        return "";
    }
}

KComDeviceQmr::KComDeviceQmr(KComModule* comModule) : KComDevice(comModule)
{
    KComModule::SetRecvDevice(this);
}

KComDeviceQmr::~KComDeviceQmr()
{
    // Before the derived part goes: a reply in delivery finishes first.
    if (KComModule::RecvDevice() == this) {
        KComModule::SetRecvDevice(nullptr);
    }
}

// ---- command texts ----

std::string KComDeviceQmr::LevelText(int16_t tenths)
{
    return ":ISI:LEVE " + scpinum::FormatTenths(tenths);
}

std::string KComDeviceQmr::ILText(int16_t tenths, int16_t frequency)
{
    return ":ISI:IL " + scpinum::FormatInt(tenths) + "," + scpinum::FormatInt(frequency);
}

std::string KComDeviceQmr::RangeText(int16_t frequency)
{
    return ":ISI:RANG? " + scpinum::FormatInt(frequency) + ";:SYST:ERR?";
}

std::string KComDeviceQmr::EventStatusEnableText(uint8_t mask)
{
    return "*ESE " + scpinum::FormatInt(mask) + ";*OPC?";
}

const char* KComDeviceQmr::KeyLockText(bool on)
{
    return on ? ":SYST:KLOC ON;:SYST:KLOC?" : ":SYST:KLOC OFF;:SYST:KLOC?";
}

// ---- senders ----

template <class Mark>
bool KComDeviceQmr::SendAwaited(const char* text, Mark mark)
{
    // Marked before the send: the reply may arrive before Send has returned.
    queriedAtMs_.store(SteadyClockMs());
    mark(true);
    if (Send(text, false) == 1) {
        return true;
    }
    mark(false);
    return false;
}

bool KComDeviceQmr::SendQuery(int state, const char* text)
{
    return SendAwaited(text, [&](bool on) { state_.store(on ? state : csIDLE); });
}

bool KComDeviceQmr::SendKeyLock(bool on)
{
    return SendQuery(csKLOC, KeyLockText(on));
}

bool KComDeviceQmr::QueryMode()
{
    return SendQuery(csMODEQ, ":ISI:MODE?");
}

bool KComDeviceQmr::QueryIdn()
{
    return SendQuery(csIDNQ, "*IDN?");
}

bool KComDeviceQmr::QueryIL()
{
    return SendQuery(csILQ, ":ISI:IL?");
}

bool KComDeviceQmr::QueryLevel()
{
    return SendQuery(csPPQ, ":ISI:LEVE?");
}

bool KComDeviceQmr::QueryKeyLock()
{
    return SendQuery(csKLOCQ, ":SYST:KLOC?");
}

bool KComDeviceQmr::QueryError()
{
    return SendQuery(csERRQ, ":SYST:ERR?");
}

bool KComDeviceQmr::SendRemote()
{
    return SendQuery(csREM, ":SYST:REM;ERR?");
}

bool KComDeviceQmr::SendLocal(bool awaitAnswer)
{
    const char* const text = ":SYST:LOC;*OPC?";
    if (awaitAnswer) {
        return SendQuery(csLOCL, text);
    }
    ForgetAwaitedReplies();
    return Send(text, true) == 1;
}

bool KComDeviceQmr::SendModeIL()
{
    return SendQuery(csMODEIL, ":ISI:MODE I;*OPC?");
}

bool KComDeviceQmr::SendModePP()
{
    return SendQuery(csMODEPP, ":ISI:MODE P;*OPC?");
}

bool KComDeviceQmr::QueryRange()
{
    return SendQuery(csDBRANGE, RangeText(frequency_.load()).c_str());
}

bool KComDeviceQmr::SetEventStatusEnable(uint8_t mask)
{
    return SendQuery(csSETESE, EventStatusEnableText(mask).c_str());
}

bool KComDeviceQmr::ReadError()
{
    return SendQuery(csREADERR, ":SYST:ERR?");
}

bool KComDeviceQmr::ReadStatusByte()
{
    return SendQuery(csREADSTB, "*STB?");
}

bool KComDeviceQmr::ReadEventStatus()
{
    return SendQuery(csREADESR, "*ESR?");
}

bool KComDeviceQmr::SendString(const char* text)
{
    if (!IsIdle()) {
        return false;
    }
    queriedAtMs_.store(SteadyClockMs());
    state_.store(csGETSTR);
    if (Send(text != nullptr ? text : "", true) != 1) {
        ClearCommandState(csGETSTR);
    }
    // The reply, if one comes, arrives as csGETSTR.
    return false;
}

bool KComDeviceQmr::SendGated(int state, const std::string& text)
{
    state_.store(state);
    const bool sent = Send(text.c_str(), true) == 1;
    // No reply is awaited: the state is done as soon as the text is out (or not).
    ClearCommandState(state);
    return sent;
}

namespace {

// The gate counts from the moment a command has gone out, not from when the gate let it
// through: the log and memo lines written in between must not shorten the instrument's pause.
bool StampWhenSent(bool sent)
{
    if (sent) {
        gGateStamp.Set(QmrClockMs());
    }
    return sent;
}

} // namespace

bool KComDeviceQmr::SetLevel(int16_t tenths)
{
    if (!CanSendNow()) {
        return false;
    }
    const bool sent = StampWhenSent(SendGated(csSETPP, LevelText(tenths)));
    if (sent) {
        level_.store(tenths);
    }
    return sent;
}

bool KComDeviceQmr::SetIL(int16_t tenths, int16_t frequency)
{
    if (!CanSendNow()) {
        return false;
    }
    const bool sent = StampWhenSent(SendGated(csSETDB, ILText(tenths, frequency)));
    if (sent) {
        loss_.store(tenths);
    }
    return sent;
}

bool KComDeviceQmr::SetFrequency(int16_t hundredths)
{
    if (!CanSendNow()) {
        return false;
    }
    frequency_.store(hundredths);
    return StampWhenSent(QueryRange());
}

bool KComDeviceQmr::ForceLocal()
{
    for (int pass = 0; pass < 20 && IsBusy(); ++pass) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        LogLine("wait", "ButtonDisConnect");
    }
    // Going local gives up the command still in flight, and no instrument answers ":SYST:LOC":
    // were a reply awaited, it would keep the device busy and the reply time-out would ask
    // again and again. A reply that comes anyway finds no command waiting and is dropped.
    ForgetAwaitedReplies();
    if (Send(":SYST:LOC", true) != 1) {
        return false;
    }
    remote_.store(false);
    return true;
}

bool KComDeviceQmr::SendListened(const char* text)
{
    return SendAwaited(text, [&](bool on) { listenedAwaited_.store(on); });
}

void KComDeviceQmr::SetAsideAwaitedReply(int timeoutMs)
{
    // Under the delivery lock, so that a reply in delivery has either reached the closing
    // window's module already or finds itself set aside.
    std::lock_guard<std::mutex> lock(KComModule::DeliveryLock());
    const int state = state_.exchange(csIDLE);
    const bool awaited = listenedAwaited_.exchange(false) || (state != csIDLE && (state & kAnswered) == 0);
    if (awaited && IsOpen()) {
        setAsideUntilMs_.store(queriedAtMs_.load() + timeoutMs);
    }
}

bool KComDeviceQmr::AwaitsSetAsideReply() const
{
    // Not ended by its time alone: a reply later than that would answer the next command. The
    // reply time-out of the window that follows gives it up.
    return setAsideUntilMs_.load() != kNoSetAside && IsOpen();
}

int KComDeviceQmr::SetAsideTimeLeftMs() const
{
    const int64_t until = setAsideUntilMs_.load();
    if (until == kNoSetAside) {
        return -1;
    }
    return static_cast<int>(std::clamp<int64_t>(until - SteadyClockMs(), 0, INT_MAX));
}

bool KComDeviceQmr::AwaitsReply() const
{
    const int state = state_.load();
    const bool pending = state != csIDLE && state != csSETPP && state != csSETDB && (state & kAnswered) == 0;
    return pending || listenedAwaited_.load() || AwaitsSetAsideReply();
}

bool KComDeviceQmr::TakeSetAsideReply()
{
    return setAsideUntilMs_.exchange(kNoSetAside) != kNoSetAside;
}

void KComDeviceQmr::ForgetAwaitedReplies()
{
    state_.store(csIDLE);
    listenedAwaited_.store(false);
    setAsideUntilMs_.store(kNoSetAside);
}

// ---- gate and busy rules ----

bool KComDeviceQmr::CanSendNow()
{
    const int64_t now = QmrClockMs();
    if (const std::optional<int64_t> stamp = gGateStamp.Get()) {
        const int64_t d = now - *stamp;
        if (d <= 0) {
            // The clock went back (or stood still): start the gate again from now.
            gGateStamp.Set(now);
            return false;
        }
        if (d <= kGateMs) {
            return false;
        }
    }
    gGateStamp.Set(now);
    return true;
}

bool KComDeviceQmr::IsIdle() const
{
    const int state = state_.load();
    return (state == csIDLE || state == csSETPP || state == csSETDB) && !AwaitsSetAsideReply();
}

namespace {

bool WithinBusyWindow()
{
    const std::optional<int64_t> stamp = gGateStamp.Get();
    return stamp.has_value() && QmrClockMs() - *stamp < KComDeviceQmr::kBusyWindowMs;
}

} // namespace

bool KComDeviceQmr::IsBusy() const
{
    if (!IsOpen()) {
        return false;
    }
    return state_.load() != csIDLE || WithinBusyWindow() || AwaitsSetAsideReply();
}

bool KComDeviceQmr::IsBusyExceptStatus() const
{
    if (!IsOpen()) {
        return false;
    }
    const int state = GetCommandState();
    if (state == csREADSTB) {
        return false;
    }
    return state != csIDLE || WithinBusyWindow() || AwaitsSetAsideReply();
}

bool KComDeviceQmr::ClearCommandState(int state)
{
    for (const int held : {state, state | kAnswered}) {
        int expected = held;
        if (state_.compare_exchange_strong(expected, csIDLE)) {
            return true;
        }
    }
    return false;
}

// ---- accessors ----

void KComDeviceQmr::SetRange(int max, int min)
{
    rangeMax_.store(scpinum::SaturateInt16(static_cast<long long>(max)));
    rangeMin_.store(scpinum::SaturateInt16(static_cast<long long>(min)));
}

void KComDeviceQmr::GetRange(int16_t& max, int16_t& min) const
{
    max = rangeMax_.load();
    min = rangeMin_.load();
}

std::string KComDeviceQmr::GetSerial() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return serial_;
}

std::string KComDeviceQmr::GetLastErrorText() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return lastError_;
}

void KComDeviceQmr::SetPortType(bool usb)
{
    GetSetting().Interface = usb ? kInterfaceUsb : kInterfaceLan;
}

int KComDeviceQmr::FindUsbComPort(uint16_t productId, int index)
{
    _SetVidPid(qmr::kQmrUsbVendorId, productId);
    char name[32] = {};
    return _GetUsbComName(index, name);
}

int KComDeviceQmr::ParseInt(const char* text)
{
    return scpinum::ParseLeadingInt(text);
}
