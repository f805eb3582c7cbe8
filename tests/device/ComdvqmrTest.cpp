// The SCPI device over a real TCP link: every command text of its table, the send gate on a
// test clock, the busy rules, and the parsing and hand-over of replies.
#include "app/instrument/Comdvqmr.h"
#include "app/link/Commodul.h"
#include "bramble/Bramble.h"

#include "DeviceTestSupport.h"
#include "LinkPeers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

using namespace std::chrono_literals;
using devicetest::RecordingModule;

namespace {

std::atomic<int64_t> gNow{100000};
int64_t TestClock()
{
    return gNow.load();
}

class Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(_StartLog(0, 0), 1);
        gNow.store(100000);
        SetQmrClockForTest(TestClock);
        recorder_.SetComDevice(&device_);
        device_.SetModule(&recorder_);
    }
    void TearDown() override
    {
        device_.SetModule(nullptr);
        comModule_.Close();
        SetQmrClockForTest(nullptr);
        _EndLog();
    }

    void Open()
    {
        devicetest::WriteAnsweringCheck();
        device_.SetSetting(devicetest::LanSettings(peer_.Port()));
        ASSERT_TRUE(device_.Open(false));
        ASSERT_TRUE(peer_.Accept());
    }

    // The next line the instrument received, without its terminator.
    std::string Wire()
    {
        std::string line = peer_.ReadUntil("\n");
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        return line;
    }

    // The instrument answers; returns once the module has had the reply.
    bool Answer(const std::string& text)
    {
        const int before = recorder_.Replies();
        return peer_.Send(text + "\n") && qmrtest::WaitFor([&] { return recorder_.Replies() > before; }, 3s);
    }

    std::string LastCall() const
    {
        auto calls = recorder_.Calls();
        return calls.empty() ? std::string() : calls.back();
    }

    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer peer_;
    KComModule comModule_;
    KComDeviceQmr device_{&comModule_};
    RecordingModule recorder_;
};

struct Command {
    const char* name;
    std::function<bool(KComDeviceQmr&)> send;
    const char* text;
    int pending; // the state after the send
    bool query;  // sent with the reply time-out armed
};

} // namespace

TEST_F(Device, StartValuesAndRegistration)
{
    EXPECT_EQ(KComModule::RecvDevice(), &device_);
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
    EXPECT_EQ(device_.GetSerial(), "-");
    EXPECT_EQ(device_.GetLevel(), 0);
    EXPECT_EQ(device_.GetFrequency(), -1);
    EXPECT_EQ(device_.GetLoss(), 0);
    int16_t max = 0;
    int16_t min = 0;
    device_.GetRange(max, min);
    EXPECT_EQ(max, 700);
    EXPECT_EQ(min, 0);
    EXPECT_FALSE(device_.IsRemote());
    EXPECT_FALSE(device_.GetKeyLockFlag());
    EXPECT_FALSE(device_.GetReportedKeyLock());
    {
        KComDeviceQmr second(&comModule_);
        EXPECT_EQ(KComModule::RecvDevice(), &second);
    }
    EXPECT_EQ(KComModule::RecvDevice(), nullptr);
}

TEST_F(Device, EveryCommandTextOfTheTable)
{
    Open();
    const std::vector<Command> table = {
        {"key lock on", [](KComDeviceQmr& d) { return d.SendKeyLock(true); }, ":SYST:KLOC ON;:SYST:KLOC?", csKLOC,
         true},
        {"key lock off", [](KComDeviceQmr& d) { return d.SendKeyLock(false); }, ":SYST:KLOC OFF;:SYST:KLOC?", csKLOC,
         true},
        {"mode", [](KComDeviceQmr& d) { return d.QueryMode(); }, ":ISI:MODE?", csMODEQ, true},
        {"idn", [](KComDeviceQmr& d) { return d.QueryIdn(); }, "*IDN?", csIDNQ, true},
        {"loss", [](KComDeviceQmr& d) { return d.QueryIL(); }, ":ISI:IL?", csILQ, true},
        {"level", [](KComDeviceQmr& d) { return d.QueryLevel(); }, ":ISI:LEVE?", csPPQ, true},
        {"key lock query", [](KComDeviceQmr& d) { return d.QueryKeyLock(); }, ":SYST:KLOC?", csKLOCQ, true},
        {"error", [](KComDeviceQmr& d) { return d.QueryError(); }, ":SYST:ERR?", csERRQ, true},
        {"remote", [](KComDeviceQmr& d) { return d.SendRemote(); }, ":SYST:REM;ERR?", csREM, true},
        {"local", [](KComDeviceQmr& d) { return d.SendLocal(); }, ":SYST:LOC;*OPC?", csLOCL, true},
        {"mode il", [](KComDeviceQmr& d) { return d.SendModeIL(); }, ":ISI:MODE I;*OPC?", csMODEIL, true},
        {"mode pp", [](KComDeviceQmr& d) { return d.SendModePP(); }, ":ISI:MODE P;*OPC?", csMODEPP, true},
        {"ese", [](KComDeviceQmr& d) { return d.SetEventStatusEnable(68); }, "*ESE 68;*OPC?", csSETESE, true},
        {"ese 255", [](KComDeviceQmr& d) { return d.SetEventStatusEnable(255); }, "*ESE 255;*OPC?", csSETESE, true},
        {"read error", [](KComDeviceQmr& d) { return d.ReadError(); }, ":SYST:ERR?", csREADERR, true},
        {"status byte", [](KComDeviceQmr& d) { return d.ReadStatusByte(); }, "*STB?", csREADSTB, true},
        {"event status", [](KComDeviceQmr& d) { return d.ReadEventStatus(); }, "*ESR?", csREADESR, true},
        {"force local", [](KComDeviceQmr& d) { return d.ForceLocal(); }, ":SYST:LOC", csIDLE, false},
        {"set level", [](KComDeviceQmr& d) { return d.SetLevel(505); }, ":ISI:LEVE 50.5", csIDLE, false},
        {"set level 0", [](KComDeviceQmr& d) { return d.SetLevel(0); }, ":ISI:LEVE 0.0", csIDLE, false},
        {"set level 100", [](KComDeviceQmr& d) { return d.SetLevel(1000); }, ":ISI:LEVE 100.0", csIDLE, false},
        {"set level negative", [](KComDeviceQmr& d) { return d.SetLevel(-5); }, ":ISI:LEVE -0.5", csIDLE, false},
        {"set level min", [](KComDeviceQmr& d) { return d.SetLevel(-32768); }, ":ISI:LEVE -3276.8", csIDLE, false},
        {"set loss", [](KComDeviceQmr& d) { return d.SetIL(123, 1000); }, ":ISI:IL 123,1000", csIDLE, false},
        {"set frequency", [](KComDeviceQmr& d) { return d.SetFrequency(1000); }, ":ISI:RANG? 1000;:SYST:ERR?",
         csDBRANGE, true},
        {"range", [](KComDeviceQmr& d) { return d.QueryRange(); }, ":ISI:RANG? 1000;:SYST:ERR?", csDBRANGE, true},
    };
    for (const Command& c : table) {
        SCOPED_TRACE(c.name);
        device_.SetCommandState(csIDLE);
        gNow.fetch_add(1000); // past the gate and the busy window
        recorder_.ClearCalls();
        EXPECT_TRUE(c.send(device_));
        EXPECT_EQ(Wire(), c.text);
        EXPECT_EQ(device_.GetCommandState(), c.pending);
        EXPECT_EQ(LastCall(), c.query ? "StartReplyTimeout" : "StopReplyTimeout");
    }
    // Free text goes out unchanged, without a reply time-out, and reports false.
    device_.SetCommandState(csIDLE);
    recorder_.ClearCalls();
    EXPECT_FALSE(device_.SendString("*RST;:ISI:LEVE?"));
    EXPECT_EQ(Wire(), "*RST;:ISI:LEVE?");
    EXPECT_EQ(device_.GetCommandState(), csGETSTR);
    EXPECT_EQ(LastCall(), "StopReplyTimeout");
}

TEST_F(Device, SendersOnAClosedLinkReturnToIdle)
{
    EXPECT_FALSE(device_.QueryMode());
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
    EXPECT_FALSE(device_.SetLevel(10));
    EXPECT_EQ(device_.GetLevel(), 0) << "a level that did not go out is not kept";
    gNow.fetch_add(1000);
    EXPECT_FALSE(device_.SetFrequency(2000));
    EXPECT_EQ(device_.GetFrequency(), 2000) << "the frequency is kept even when its range query fails";
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
    EXPECT_FALSE(device_.SendString("*CLS"));
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
}

// Puts the process's locale, and where locales are looked up, back as they were however the
// test ends (a failed assertion or a skip included).
class ScopedLocale {
public:
    ScopedLocale() : locale_(std::setlocale(LC_ALL, nullptr))
    {
        if (const char* path = std::getenv("LOCPATH")) {
            locPath_ = path;
        }
    }
    ~ScopedLocale()
    {
        if (locPath_) {
            setenv("LOCPATH", locPath_->c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
        std::setlocale(LC_ALL, locale_.c_str());
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::string locale_;
    std::optional<std::string> locPath_;
};

TEST_F(Device, NumberTextsIgnoreACommaLocale)
{
    ScopedLocale restore;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        // Build the locale into the test's folder when the system has its sources.
        if (std::system("localedef -i de_DE -f UTF-8 ./de_DE.UTF-8 >/dev/null 2>&1") == 0) {
            setenv("LOCPATH", dir_.Path().c_str(), 1);
        }
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "no comma locale available";
        }
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 50.5);
    ASSERT_STREQ(probe, "50,5") << "the locale really writes a decimal comma";
    Open();
    EXPECT_TRUE(device_.SetLevel(505));
    EXPECT_EQ(Wire(), ":ISI:LEVE 50.5");
    gNow.fetch_add(1000);
    EXPECT_TRUE(device_.SetIL(-123, 4000));
    EXPECT_EQ(Wire(), ":ISI:IL -123,4000");
    EXPECT_TRUE(device_.QueryLevel());
    EXPECT_EQ(Wire(), ":ISI:LEVE?");
    ASSERT_TRUE(Answer("50.25"));
    EXPECT_EQ(device_.GetLevel(), 503);
}

TEST_F(Device, TheSendGateOnItsClock)
{
    Open();
    gNow.store(10000);
    EXPECT_TRUE(device_.SetLevel(100));
    EXPECT_EQ(Wire(), ":ISI:LEVE 10.0");
    recorder_.ClearCalls();
    gNow.store(10400);
    EXPECT_FALSE(device_.SetLevel(200));
    EXPECT_TRUE(recorder_.Calls().empty()) << "nothing was sent";
    EXPECT_EQ(device_.GetLevel(), 100);
    gNow.store(10501); // 501 ms after the first: the refused one did not move the stamp
    EXPECT_TRUE(device_.SetLevel(300));
    EXPECT_EQ(Wire(), ":ISI:LEVE 30.0");
    EXPECT_EQ(device_.GetLevel(), 300);
    gNow.store(11001); // exactly 500 ms
    EXPECT_FALSE(device_.SetIL(5, 100));
    EXPECT_EQ(device_.GetLoss(), 0);
    gNow.store(11002);
    EXPECT_TRUE(device_.SetIL(5, 100));
    EXPECT_EQ(Wire(), ":ISI:IL 5,100");
    EXPECT_EQ(device_.GetLoss(), 5);
    gNow.store(11200);
    EXPECT_FALSE(device_.SetFrequency(3000));
    EXPECT_EQ(device_.GetFrequency(), -1) << "a refused frequency changes nothing";
}

TEST_F(Device, AClockThatStandsOrGoesBackRestartsTheGate)
{
    struct Step {
        int64_t now;
        bool allowed;
    };
    // 20000 allowed; d = 0 refused (stamp := 20000); d < 0 refused (stamp := 19000); then
    // measured from 19000.
    const Step steps[] = {{20000, true}, {20000, false}, {19000, false}, {19400, false}, {19500, false}, {19501, true}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.now);
        gNow.store(s.now);
        EXPECT_EQ(device_.CanSendNow(), s.allowed);
    }
    SetQmrClockForTest(TestClock); // forgets the stamp
    gNow.store(5);
    EXPECT_TRUE(device_.CanSendNow());
}

TEST_F(Device, GateAndBusyWindowHoldAtAnyTimeSinceStart)
{
    Open();
    // From the start, and on both sides of where 32-bit milliseconds turn negative and wrap.
    for (int64_t base : {int64_t{0}, (int64_t{1} << 31) - 100, (int64_t{1} << 31) + 100, (int64_t{1} << 32) + 100}) {
        SCOPED_TRACE(base);
        SetQmrClockForTest(TestClock); // no stamp yet
        gNow.store(base);
        EXPECT_FALSE(device_.IsBusy());
        EXPECT_TRUE(device_.SetLevel(10));
        EXPECT_EQ(Wire(), ":ISI:LEVE 1.0");
        gNow.store(base + 500);
        EXPECT_FALSE(device_.SetLevel(20));
        gNow.store(base + 999);
        EXPECT_TRUE(device_.IsBusy());
        gNow.store(base + 1000);
        EXPECT_FALSE(device_.IsBusy());
        EXPECT_TRUE(device_.SetLevel(30));
        EXPECT_EQ(Wire(), ":ISI:LEVE 3.0") << "the refused level never went out";
    }
}

TEST_F(Device, BusyForASecondAfterAGatedCommandOnlyWhileOpen)
{
    gNow.store(50000);
    EXPECT_TRUE(device_.CanSendNow());
    EXPECT_FALSE(device_.IsBusy()) << "never busy with the link closed";
    EXPECT_FALSE(device_.IsBusyExceptStatus());
    device_.SetCommandState(csPPQ);
    EXPECT_FALSE(device_.IsBusy());
    device_.SetCommandState(csIDLE);

    Open();
    SetQmrClockForTest(TestClock);
    EXPECT_FALSE(device_.IsBusy()) << "no stamp yet";
    gNow.store(60000);
    EXPECT_TRUE(device_.SetLevel(10));
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
    for (int64_t t : {60000, 60500, 60999}) {
        gNow.store(t);
        EXPECT_TRUE(device_.IsBusy()) << t;
        EXPECT_TRUE(device_.IsBusyExceptStatus()) << t;
    }
    gNow.store(61000);
    EXPECT_FALSE(device_.IsBusy());
    EXPECT_FALSE(device_.IsBusyExceptStatus());

    EXPECT_TRUE(device_.QueryLevel());
    EXPECT_TRUE(device_.IsBusy());
    EXPECT_TRUE(device_.IsBusyExceptStatus());
    device_.SetCommandState(csIDLE);
    EXPECT_TRUE(device_.ReadStatusByte());
    EXPECT_TRUE(device_.IsBusy());
    EXPECT_FALSE(device_.IsBusyExceptStatus());
    gNow.store(60100); // inside the busy window: the status poll still does not count
    EXPECT_FALSE(device_.IsBusyExceptStatus());
}

TEST_F(Device, IdleForFreeText)
{
    for (int state : {csIDLE, csSETPP, csSETDB}) {
        device_.SetCommandState(state);
        EXPECT_TRUE(device_.IsIdle()) << state;
    }
    for (int state : {csGETSTR, csPPQ, csREADSTB, csMODEQ}) {
        device_.SetCommandState(state);
        EXPECT_FALSE(device_.IsIdle()) << state;
    }
}

TEST_F(Device, FreeTextWhileAQueryIsPendingSendsNothing)
{
    Open();
    EXPECT_TRUE(device_.QueryLevel());
    EXPECT_EQ(Wire(), ":ISI:LEVE?");
    recorder_.ClearCalls();
    EXPECT_FALSE(device_.SendString("*RST"));
    EXPECT_TRUE(recorder_.Calls().empty());
    EXPECT_EQ(device_.GetCommandState(), csPPQ);
    EXPECT_EQ(peer_.ReadUntil("\n", 100ms), "");
}

// ---- replies ----

struct ReplyCase {
    const char* name;
    std::function<bool(KComDeviceQmr&)> send;
    const char* reply;
    std::function<void(const KComDeviceQmr&)> check;
};

TEST_F(Device, RepliesAreParsedIntoTheFields)
{
    Open();
    auto idn = [](KComDeviceQmr& d) { return d.QueryIdn(); };
    auto level = [](KComDeviceQmr& d) { return d.QueryLevel(); };
    auto loss = [](KComDeviceQmr& d) { return d.QueryIL(); };
    auto kloc = [](KComDeviceQmr& d) { return d.QueryKeyLock(); };
    auto serial = [](const char* want) { return [want](const KComDeviceQmr& d) { EXPECT_EQ(d.GetSerial(), want); }; };
    auto lvl = [](int want) { return [want](const KComDeviceQmr& d) { EXPECT_EQ(d.GetLevel(), want); }; };
    auto il = [](int wantLoss, int wantFrequency) {
        return [=](const KComDeviceQmr& d) {
            EXPECT_EQ(d.GetLoss(), wantLoss);
            EXPECT_EQ(d.GetFrequency(), wantFrequency);
        };
    };
    auto reported = [](bool want) {
        return [want](const KComDeviceQmr& d) { EXPECT_EQ(d.GetReportedKeyLock(), want); };
    };
    const std::vector<ReplyCase> table = {
        {"idn four fields", idn, "MAKER,QMR3400,SN12345,1.05", serial("SN12345")},
        {"idn three fields", idn, "MAKER,QMR3400,SN12345", serial("-")},
        {"idn again", idn, "MAKER,QMR3400,SN777,1.05", serial("SN777")},
        {"idn no commas", idn, "QMR3400", serial("-")},
        {"idn long serial", idn, "MAKER,QMR3400,ABCDEFGHIJKLMNOPQRSTUVWXY,1.05", serial("ABCDEFGHIJKLMNOPQRS")},
        {"idn empty serial", idn, "MAKER,QMR3400,,1.05", serial("")},
        {"level", level, "50.25", lvl(503)},
        {"level blank and plus", level, " +12.34", lvl(123)},
        {"level exponent", level, "5.0E+01", lvl(500)},
        {"level negative", level, "-0.3", lvl(-2)},
        {"level no number", level, "abc", lvl(0)},
        {"level huge", level, "1e9", lvl(32767)},
        {"level huge negative", level, "-1e9", lvl(-32768)},
        {"level beyond double", level, "1e999", lvl(32767)},
        {"level nan", level, "nan", lvl(0)},
        {"level inf", level, "inf", lvl(32767)},
        {"loss and frequency", loss, "123,1000", il(123, 1000)},
        {"loss alone keeps frequency", loss, "123", il(123, 1000)},
        {"loss no number", loss, "x,2000", il(0, 2000)},
        {"loss huge", loss, "99999999999999999999,-99999999999", il(32767, -32768)},
        {"key lock on", kloc, "ON", reported(true)},
        {"key lock other keeps", kloc, "on", reported(true)},
        {"key lock off", kloc, "OFF", reported(false)},
        {"key lock other keeps off", kloc, "ONE", reported(false)},
    };
    for (const ReplyCase& c : table) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.send(device_));
        Wire();
        ASSERT_TRUE(Answer(c.reply));
        c.check(device_);
        EXPECT_EQ(device_.GetCommandState(), csIDLE);
    }
}

TEST_F(Device, TheErrorTextIsKeptCutToItsField)
{
    Open();
    const std::string reply = "-113,\"Undefined header; a long explanation\"";
    ASSERT_TRUE(device_.QueryError());
    ASSERT_TRUE(Answer(reply));
    EXPECT_EQ(device_.GetLastErrorText(), reply.substr(0, 29));
    ASSERT_TRUE(device_.ReadError());
    ASSERT_TRUE(Answer("0,\"No error\""));
    EXPECT_EQ(device_.GetLastErrorText(), reply.substr(0, 29)) << "the poll's read leaves it";
}

TEST_F(Device, EachReplyReachesTheModuleWithItsStateAfterTheStateWasSettled)
{
    Open();
    std::vector<std::string> seen;
    recorder_.onReceive = [&](int state, const char*) {
        seen.push_back(std::to_string(state) + ":" + std::to_string(device_.GetCommandState()) + ":" +
                       (device_.IsRemote() ? "R" : "L"));
    };
    ASSERT_TRUE(device_.QueryKeyLock());
    ASSERT_TRUE(Answer("OFF"));
    ASSERT_TRUE(device_.SendLocal());
    ASSERT_TRUE(Answer("1"));
    ASSERT_TRUE(device_.SendRemote());
    ASSERT_TRUE(Answer("0,\"No error\""));
    ASSERT_TRUE(device_.ReadStatusByte());
    ASSERT_TRUE(Answer("4"));
    recorder_.onReceive = nullptr;
    const std::vector<std::string> want = {"10:0:R", "12:0:L", "11:0:R", "21:21:R"};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(LastCall(), "OnReceive 21 1 4");
    EXPECT_EQ(device_.GetCommandState(), csREADSTB) << "the status poll's state stays pending";
    // ... but answered: a later reply is no command's, and no raw-text listener's either.
    device_.AttachModule(&recorder_);
    ASSERT_TRUE(peer_.Send("55\n"));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return LastCall() == "ReceiveData 2 55"; }, 3s));
    EXPECT_EQ(recorder_.Count("OnReceive"), 4u);
    EXPECT_TRUE(device_.GetCommandState() == csREADSTB && device_.LastReplyClaimed());
}

TEST_F(Device, ACommandSentFromInsideTheReplyIsNotWiped)
{
    Open();
    recorder_.onReceive = [&](int state, const char*) {
        if (state == csMODEQ) {
            device_.QueryIdn(); // the next step goes out at once
        }
    };
    ASSERT_TRUE(device_.QueryMode());
    EXPECT_EQ(Wire(), ":ISI:MODE?");
    ASSERT_TRUE(Answer("I"));
    EXPECT_EQ(Wire(), "*IDN?");
    EXPECT_EQ(device_.GetCommandState(), csIDNQ);
    recorder_.onReceive = nullptr;
    ASSERT_TRUE(Answer("MAKER,QMR3400,SN1,1"));
    EXPECT_EQ(device_.GetSerial(), "SN1");
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
}

// At a window switch the reply still awaited is set aside: the state is idle at once, the device
// stays busy until the reply came (and is dropped for the module and a listener alike) or the
// reply time-out gave it up (its time alone ends nothing), and then the next command's reply
// reaches the module again.
TEST_F(Device, AReplySetAsideAtASwitchIsDroppedOrOutlived)
{
    Open();
    device_.AttachModule(&recorder_);
    const std::pair<const char*, std::function<bool(KComDeviceQmr&)>> queries[] = {
        {"poll", [](KComDeviceQmr& d) { return d.ReadStatusByte(); }},
        {"free text", [](KComDeviceQmr& d) { return !d.SendString("*IDN?") && d.GetCommandState() == csGETSTR; }},
        {"listened", [](KComDeviceQmr& d) { return d.SendListened(":DISP:BRIG?"); }},
    };
    for (const auto& [name, query] : queries) {
        for (const bool answered : {true, false}) {
            SCOPED_TRACE(std::string(name) + (answered ? " answered" : " given up"));
            ASSERT_TRUE(query(device_));
            Wire();
            recorder_.ClearCalls();
            device_.SetAsideAwaitedReply(answered ? 5000 : 0);
            EXPECT_EQ(device_.GetCommandState(), csIDLE);
            EXPECT_TRUE(device_.AwaitsSetAsideReply() && device_.AwaitsReply() && device_.IsBusy() &&
                        !device_.IsIdle());
            if (answered) {
                ASSERT_TRUE(peer_.Send("0\n"));
                ASSERT_TRUE(qmrtest::WaitFor([&] { return recorder_.Count("ReceiveData") == 1; }, 3s));
                EXPECT_TRUE(device_.LastReplyClaimed());
            } else {
                EXPECT_EQ(device_.SetAsideTimeLeftMs(), 0);
                device_.ForgetAwaitedReplies();
            }
            ASSERT_TRUE(qmrtest::WaitFor([&] { return !device_.AwaitsSetAsideReply(); }, 3s));
            EXPECT_FALSE(device_.IsBusy());
            EXPECT_EQ(recorder_.Count("OnReceive"), 0u);
            ASSERT_TRUE(device_.QueryMode());
            Wire();
            ASSERT_TRUE(Answer("P"));
            EXPECT_EQ(recorder_.Count("OnReceive"), 1u);
            EXPECT_EQ(recorder_.Count("OnReceive 5 1 P"), 1u);
        }
    }
}

TEST_F(Device, AReplyWithNothingPendingIsDropped)
{
    Open();
    ASSERT_TRUE(peer_.Send("STRAY\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return linktest::LogHas("RecvCallbackD", "STRAY"); }, 3s));
    ASSERT_TRUE(device_.QueryMode());
    ASSERT_TRUE(Answer("P"));
    EXPECT_EQ(recorder_.Count("OnReceive"), 1u);
    EXPECT_EQ(LastCall(), "OnReceive 5 1 P");
}

TEST_F(Device, AStateOutsideTheTableIsDroppedAndCleared)
{
    Open();
    device_.SetCommandState(15);
    ASSERT_TRUE(peer_.Send("X\n"));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return device_.GetCommandState() == csIDLE; }, 3s));
    EXPECT_EQ(recorder_.Count("OnReceive"), 0u);
}

TEST_F(Device, WithoutACurrentModuleTheReplyIsDroppedAndTheStateCleared)
{
    Open();
    device_.SetModule(nullptr);
    ASSERT_TRUE(device_.QueryIL());
    ASSERT_TRUE(peer_.Send("77,500\n"));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return device_.GetCommandState() == csIDLE; }, 3s));
    EXPECT_EQ(device_.GetLoss(), 77);
    EXPECT_EQ(recorder_.Count("OnReceive"), 0u);
}

TEST_F(Device, ForceLocalWaitsTwoSecondsAtMostWhileBusy)
{
    Open();
    ASSERT_TRUE(device_.QueryLevel());
    Wire();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device_.ForceLocal());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 1900ms);
    EXPECT_LT(waited, 5s);
    EXPECT_EQ(Wire(), ":SYST:LOC");
    // The level query that never got its reply is given up; nothing awaits ":SYST:LOC".
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
    EXPECT_EQ(LastCall(), "StopReplyTimeout");
    int waits = 0;
    for (const std::string& line : linktest::LogLines()) {
        waits += line.size() > 21 && line.compare(line.size() - 21, 21, "wait ButtonDisConnect") == 0 ? 1 : 0;
    }
    EXPECT_EQ(waits, 20);
}

TEST_F(Device, ForceLocalWhenIdleGoesAtOnce)
{
    Open();
    EXPECT_TRUE(device_.ForceLocal());
    EXPECT_EQ(Wire(), ":SYST:LOC");
    EXPECT_FALSE(linktest::LogHas("wait", "ButtonDisConnect"));
    device_.SetModule(nullptr);
    comModule_.Close();
    EXPECT_FALSE(device_.ForceLocal());
    EXPECT_EQ(device_.GetCommandState(), csIDLE);
}

TEST_F(Device, PortTypeAndRange)
{
    device_.SetPortType(false);
    EXPECT_EQ(device_.GetSetting().Interface, kInterfaceLan);
    EXPECT_FALSE(device_.IsUsb());
    device_.SetPortType(true);
    EXPECT_EQ(device_.GetSetting().Interface, kInterfaceUsb);
    device_.SetRange(100000, -100000);
    int16_t max = 0;
    int16_t min = 0;
    device_.GetRange(max, min);
    EXPECT_EQ(max, 32767);
    EXPECT_EQ(min, -32768);
    device_.SetRange(650, 30);
    device_.GetRange(max, min);
    EXPECT_EQ(max, 650);
    EXPECT_EQ(min, 30);
}

TEST_F(Device, FindsTheInstrumentsUsbPortByProductId)
{
    qmrtest::PtyPair pty;
    pty.PublishAs(12);
    qmrtest::WriteFile("ports/COM12.usb", "vid=2f5a\npid=3401\nserial=SIM0012\nname=QMR3400\n");
    EXPECT_EQ(device_.FindUsbComPort(0x3401, 0), 12);
    EXPECT_LT(device_.FindUsbComPort(0x3401, 1), 0);
    EXPECT_LT(device_.FindUsbComPort(0x3400, 0), 0);
}

TEST(DeviceText, ParseIntReadsTheLeadingInteger)
{
    const std::pair<const char*, int> cases[] = {
        {"123,1000", 123},
        {"  -42;x", -42},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {"99999999999999", 2147483647},
        {"-99999999999999", -2147483647 - 1},
        {"-", 0},
        {"12.9", 12},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(KComDeviceQmr::ParseInt(text), want) << text;
    }
    EXPECT_EQ(KComDeviceQmr::ParseInt(nullptr), 0);
}
