// The communication module and the device base over real links: TCP on 127.0.0.1 and a
// pseudo-terminal published as a COM port, with the log, the error windows and the receivers.
#include "app/link/Commodul.h"
#include "app/link/Comdev.h"
#include "app/link/Comtcpip.h"
#include "bramble/Bramble.h"

#include "DeviceTestSupport.h"
#include "LinkPeers.h"
#include "TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

using namespace std::chrono_literals;
using devicetest::AutoAnswer;
using devicetest::RecordingModule;

namespace {

// A device that hands every reply to its current module as it came.
class PlainDevice : public KComDevice {
public:
    using KComDevice::KComDevice;
    void OnReceive(char* text, int* count) override
    {
        if (KModule* module = GetModule()) {
            module->OnReceive(0, *count, text);
        }
    }
    bool SendString(const char* /*text*/) override { return false; }
};

class ComModule : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(_StartLog(0, 0), 1); }
    void TearDown() override
    {
        module_.Close();
        KComModule::SetRecvDevice(nullptr);
        KComModule::SetRecvModule(nullptr);
        _EndLog();
    }

    // Opens on a copy of the block.
    bool OpenCopy(ComSettings settings) { return module_.Open(settings, false); }

    bool OpenLan(ComSettings settings)
    {
        devicetest::WriteAnsweringCheck();
        if (!module_.Open(settings, false)) {
            return false;
        }
        return peer_.Accept();
    }

    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer peer_;
    KComModule module_;
};

} // namespace

TEST_F(ComModule, LanOpensAfterTheAddressAnswersAndClosesWithOk)
{
    ASSERT_TRUE(OpenLan(devicetest::LanSettings(peer_.Port())));
    EXPECT_TRUE(module_.IsOpen());
    EXPECT_EQ(devicetest::CheckRuns(), 1);
    EXPECT_TRUE(linktest::LogHas("OPEN LAN OK", "127.0.0.1"));
    EXPECT_TRUE(module_.Close());
    EXPECT_FALSE(module_.IsOpen());
    EXPECT_TRUE(linktest::LogHas("ComClose", "OK"));
}

TEST_F(ComModule, LanToAClosedPortFailsQuietlyWithItsLogLine)
{
    devicetest::WriteAnsweringCheck();
    AutoAnswer answer;
    EXPECT_FALSE(OpenCopy(devicetest::LanSettings(linktest::ClosedPort())));
    EXPECT_FALSE(module_.IsOpen());
    EXPECT_EQ(answer.Count(), 0u);
    EXPECT_TRUE(linktest::LogHas("OPEN LAN ERROR", "127.0.0.1"));
}

TEST_F(ComModule, LanAddressThatDoesNotAnswerShowsTheErrorAndTriesNothing)
{
    devicetest::WriteSilentCheck();
    AutoAnswer answer;
    EXPECT_FALSE(OpenCopy(devicetest::LanSettings(peer_.Port())));
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].upper, "Could not find the following IP device.");
    EXPECT_EQ(answer.Shown()[0].lower, "127.0.0.1");
    EXPECT_EQ(devicetest::CheckRuns(), 1);
    EXPECT_FALSE(peer_.Accept(200ms));
    for (const std::string& line : linktest::LogLines()) {
        EXPECT_EQ(line.find("OPEN LAN"), std::string::npos) << line;
    }
}

TEST_F(ComModule, AnAddressFieldWithoutZeroByteIsReadWithinItsField)
{
    ComSettings settings = devicetest::LanSettings(peer_.Port());
    std::memcpy(settings.IpAddress, "127.000.000.001x", 16); // no zero byte in the field
    std::strcpy(settings.IpAddress2, "junk");
    devicetest::WriteSilentCheck();
    AutoAnswer answer;
    EXPECT_FALSE(module_.Open(settings, false));
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].lower, "127.000.000.001x");
}

TEST_F(ComModule, ForceUsbWritesUsbIntoTheBlock)
{
    ComSettings settings = devicetest::LanSettings(peer_.Port());
    settings.ComPort = 0;
    AutoAnswer answer;
    EXPECT_FALSE(module_.Open(settings, true));
    EXPECT_EQ(settings.Interface, kInterfaceUsb);
    EXPECT_EQ(devicetest::CheckRuns(), 0);
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].upper, "Could not find the following port no.");
}

TEST_F(ComModule, ComNumbersNoPortCanHaveFailWithThePortWindowAndStayStored)
{
    qmrtest::PtyPair pty;
    pty.PublishAs(257); // a node of that name opens nothing either
    for (int32_t number : {0, -1, 257, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(number);
        ComSettings settings = devicetest::UsbSettings(number);
        const ComSettings stored = settings;
        AutoAnswer answer;
        EXPECT_FALSE(module_.Open(settings, false));
        EXPECT_FALSE(module_.IsOpen());
        ASSERT_EQ(answer.Count(), 1u);
        EXPECT_EQ(answer.Shown()[0].upper, "Could not find the following port no.");
        EXPECT_EQ(answer.Shown()[0].lower, QString::number(number));
        EXPECT_TRUE(devicetest::LogEndsWith("Open RS232C Error "));
        EXPECT_EQ(std::memcmp(&settings, &stored, sizeof settings), 0);
    }
}

TEST_F(ComModule, UsbOverAPseudoTerminalSendsAndReceives)
{
    qmrtest::PtyPair pty;
    pty.PublishAs(7);
    PlainDevice device(&module_);
    RecordingModule recorder;
    device.SetModule(&recorder);
    KComModule::SetRecvDevice(&device);

    ASSERT_TRUE(OpenCopy(devicetest::UsbSettings(7)));
    EXPECT_TRUE(devicetest::LogEndsWith("Open RS232C OK "));
    EXPECT_EQ(module_.Send("*IDN?"), 1);
    EXPECT_EQ(pty.ReadUntil("\n", 2000ms), "*IDN?\n");
    ASSERT_TRUE(pty.Write("MAKER,QMR3400,SN0001,1.00\n"));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return recorder.Replies() == 1; }, 3s));
    EXPECT_EQ(recorder.Calls().back(), "OnReceive 0 25 MAKER,QMR3400,SN0001,1.00");
    EXPECT_TRUE(linktest::LogHas("RecvCallbackD", "MAKER,QMR3400,SN0001,1.00"));
    EXPECT_TRUE(module_.Close());
    EXPECT_TRUE(linktest::LogHas("ComClose", "OK"));
    device.SetModule(nullptr);
}

// The block's terminator decides what is appended on sending and what ends a reply.
struct TerminatorCase {
    const char* name;
    char field[3];
    const char* sent;  // what the instrument receives after "A"
    const char* reply; // what the instrument answers
};

void PrintTo(const TerminatorCase& c, std::ostream* os)
{
    *os << c.name;
}

class Terminators : public ComModule, public ::testing::WithParamInterface<TerminatorCase> {};

TEST_P(Terminators, SendWithTheRuleAndReceiveWithTheFirstTwo)
{
    const TerminatorCase& c = GetParam();
    qmrtest::PtyPair pty;
    pty.PublishAs(9);
    PlainDevice device(&module_);
    RecordingModule recorder;
    device.SetModule(&recorder);
    KComModule::SetRecvDevice(&device);

    ComSettings settings = devicetest::UsbSettings(9);
    std::memcpy(settings.Terminator, c.field, sizeof settings.Terminator);
    ASSERT_TRUE(module_.Open(settings, false));
    EXPECT_EQ(std::memcmp(settings.Terminator, c.field, sizeof c.field), 0) << "the block stays as it was";
    EXPECT_EQ(module_.Send("A"), 1);
    const std::string sent = std::string("A") + c.sent;
    EXPECT_EQ(pty.Read(sent.size(), 2000ms), sent);
    ASSERT_TRUE(pty.Write(c.reply));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return recorder.Replies() == 1; }, 3s));
    EXPECT_EQ(recorder.Calls().back(), "OnReceive 0 1 B");
    device.SetModule(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Block, Terminators,
                         ::testing::Values(TerminatorCase{"lf", {'\n', 0, 0}, "\n", "B\n"},
                                           TerminatorCase{"cr", {'\r', 0, 0}, "\r", "B\r"},
                                           TerminatorCase{"crlf", {'\r', '\n', 0}, "\r\n", "B\r\n"},
                                           // Three characters: sent with a line feed, received up to "\r\n".
                                           TerminatorCase{"three", {'\r', '\n', 'x'}, "\n", "B\r\n"},
                                           // None at all: the link uses a line feed both ways.
                                           TerminatorCase{"empty", {0, 0, 0}, "\n", "B\n"}),
                         [](const ::testing::TestParamInfo<TerminatorCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ComModule, CloseWithoutALinkIsTrueAndLogsNothing)
{
    EXPECT_TRUE(module_.Close());
    for (const std::string& line : linktest::LogLines()) {
        EXPECT_EQ(line.find("ComClose"), std::string::npos) << line;
    }
}

TEST_F(ComModule, SendWritesTheTextAndALineFeedAndLogsBoth)
{
    ASSERT_TRUE(OpenLan(devicetest::LanSettings(peer_.Port())));
    EXPECT_EQ(module_.Send(":ISI:MODE?"), 1);
    const std::string got = peer_.ReadUntil("\n");
    EXPECT_EQ(got, ":ISI:MODE?\n");
    EXPECT_EQ(got.size(), 11u);
    EXPECT_TRUE(linktest::LogHas("ComSend", ":ISI:MODE?"));
    EXPECT_TRUE(linktest::LogHas("SEND", ":ISI:MODE? "));
}

TEST_F(ComModule, SendWithoutALinkLogsOnlyComSend)
{
    EXPECT_EQ(module_.Send(":ISI:MODE?"), 0);
    EXPECT_TRUE(linktest::LogHas("ComSend", ":ISI:MODE?"));
    for (const std::string& line : linktest::LogLines()) {
        EXPECT_EQ(line.find(" SEND"), std::string::npos) << line;
    }
}

TEST_F(ComModule, SendToAPeerThatWentAwayLogsSendError)
{
    SetLinkNoticeHandler([](const std::string&, const std::string&) {});
    ASSERT_TRUE(OpenLan(devicetest::LanSettings(peer_.Port())));
    peer_.Reset();
    // The first write after a reset may still be taken by the kernel; a later one fails.
    ASSERT_TRUE(qmrtest::WaitFor([&] { return module_.Send("*STB?") == 0; }, 3s));
    EXPECT_TRUE(linktest::LogHas("SEND ERROR", "*STB? "));
    module_.Close();
    SetLinkNoticeHandler(nullptr);
}

TEST_F(ComModule, AReplyWithoutReceiversIsOnlyLogged)
{
    RecordingModule listener;
    KComModule::SetRecvModule(&listener);
    KComModule::SetRecvModule(nullptr);
    ASSERT_TRUE(OpenLan(devicetest::LanSettings(peer_.Port())));
    ASSERT_TRUE(peer_.Send("HELLO\n"));
    ASSERT_TRUE(qmrtest::WaitFor([] { return linktest::LogHas("RecvCallbackD", "HELLO"); }, 3s));
    EXPECT_TRUE(module_.Close());
    EXPECT_TRUE(listener.Calls().empty());
}

TEST_F(ComModule, TheRawListenerAndTheDeviceBothGetEveryReply)
{
    PlainDevice device(&module_);
    RecordingModule current;
    RecordingModule listener;
    device.SetModule(&current);
    KComModule::SetRecvDevice(&device);
    device.AttachModule(&listener);
    EXPECT_EQ(KComModule::RecvModule(), &listener);
    ASSERT_TRUE(OpenLan(devicetest::LanSettings(peer_.Port())));
    ASSERT_TRUE(peer_.Send("1\n"));
    ASSERT_TRUE(qmrtest::WaitFor([&] { return listener.Calls().size() == 1; }, 3s));
    EXPECT_EQ(listener.Calls()[0], "ReceiveData 1 1");
    EXPECT_EQ(current.Calls(), std::vector<std::string>{"OnReceive 0 1 1"});
    device.AttachModule(nullptr);
    device.SetModule(nullptr);
}

TEST_F(ComModule, ADeletedModuleLeavesBothRegistrations)
{
    PlainDevice device(&module_);
    auto* module = new RecordingModule;
    module->SetComDevice(&device);
    device.SetModule(module);
    device.AttachModule(module);
    delete module;
    EXPECT_EQ(device.GetModule(), nullptr);
    EXPECT_EQ(KComModule::RecvModule(), nullptr);
}

// ---- device base ----

class DeviceBase : public ComModule {
protected:
    void SetUp() override
    {
        ComModule::SetUp();
        recorder_.SetComDevice(&device_);
        device_.SetModule(&recorder_);
    }
    void TearDown() override
    {
        device_.SetModule(nullptr);
        ComModule::TearDown();
    }

    PlainDevice device_{&module_};
    RecordingModule recorder_;
};

TEST_F(DeviceBase, AQueryArmsTheTimeoutBeforeItGoesOut)
{
    devicetest::WriteAnsweringCheck();
    device_.SetSetting(devicetest::LanSettings(peer_.Port()));
    ASSERT_TRUE(device_.Open(false));
    ASSERT_TRUE(peer_.Accept());
    bool sentBeforeTimeout = true;
    recorder_.onCall = [&](const std::string& call) {
        if (call == "StartReplyTimeout") {
            sentBeforeTimeout = linktest::LogHas("ComSend", ":ISI:MODE?");
        }
    };
    EXPECT_EQ(device_.Send(":ISI:MODE?", false), 1);
    recorder_.onCall = nullptr;
    EXPECT_EQ(recorder_.Calls(), (std::vector<std::string>{"LogSend :ISI:MODE?", "StartReplyTimeout"}));
    EXPECT_FALSE(sentBeforeTimeout);
    EXPECT_EQ(peer_.ReadUntil("\n"), ":ISI:MODE?\n");
    EXPECT_TRUE(device_.Close());
}

TEST_F(DeviceBase, ASetCommandStopsTheTimeout)
{
    devicetest::WriteAnsweringCheck();
    device_.SetSetting(devicetest::LanSettings(peer_.Port()));
    ASSERT_TRUE(device_.Open(false));
    ASSERT_TRUE(peer_.Accept());
    EXPECT_EQ(device_.Send(":ISI:LEVE 50.5", true), 1);
    EXPECT_EQ(recorder_.Calls(), (std::vector<std::string>{"LogSend :ISI:LEVE 50.5", "StopReplyTimeout"}));
    EXPECT_EQ(peer_.ReadUntil("\n"), ":ISI:LEVE 50.5\n");
}

TEST_F(DeviceBase, ASendOnAClosedLinkOnlyLogs)
{
    EXPECT_EQ(device_.Send(":ISI:MODE?", false), 0);
    EXPECT_EQ(device_.Send(":ISI:LEVE 1.0", true), 0);
    EXPECT_EQ(recorder_.Calls(), (std::vector<std::string>{"LogSend :ISI:MODE?", "LogSend :ISI:LEVE 1.0"}));
    EXPECT_FALSE(linktest::LogHas("ComSend", ":ISI:MODE?"));
}

TEST_F(DeviceBase, OnlyInterfaceZeroIsUsb)
{
    for (int value : {0, 1, 2, -1, 256}) {
        ComSettings settings = devicetest::UsbSettings(3);
        settings.Interface = value;
        device_.SetSetting(settings);
        EXPECT_EQ(device_.IsUsb(), value == 0) << value;
        EXPECT_EQ(device_.GetPortNo(), 3);
    }
}

TEST_F(DeviceBase, SettingsAreCopiedWhole)
{
    ComSettings settings = devicetest::LanSettings(4321, "\r\n");
    settings.Spare = 7;
    std::strcpy(settings.IpAddressAlt, "10.0.0.9");
    device_.SetSetting(settings);
    EXPECT_EQ(std::memcmp(&device_.GetSetting(), &settings, sizeof settings), 0);
}

TEST_F(DeviceBase, EditSettingsCancelledLeavesTheLiveCopy)
{
    ComSettings settings = devicetest::UsbSettings(4);
    device_.SetSetting(settings);
    AutoAnswer cancel(true);
    EXPECT_FALSE(device_.EditSettings());
    EXPECT_EQ(cancel.Count(), 1u);
    EXPECT_EQ(std::memcmp(&device_.GetSetting(), &settings, sizeof settings), 0);
}

TEST_F(DeviceBase, EditSettingsWithOkIsTrue)
{
    device_.SetSetting(devicetest::UsbSettings(4));
    AutoAnswer ok;
    EXPECT_TRUE(device_.EditSettings());
    EXPECT_EQ(ok.Count(), 1u);
    EXPECT_EQ(device_.GetSetting().ComPort, 4);
}
