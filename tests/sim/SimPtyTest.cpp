// The simulator's USB face: a pseudo-terminal published as ports/COM<n>, opened by its path
// as the program opens a serial port.

#include "SimClient.h"
#include "SimFixture.h"
#include "Simulator.h"
#include "TestSupport.h"

#include "common/QmrUsbIds.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace simtest {
namespace {

using namespace std::chrono_literals;

using Clock = std::chrono::steady_clock;

class SimPty : public ::testing::Test {
protected:
    void Begin(const std::string& terminator = "\n", uint16_t productId = 0)
    {
        qmrsim::SimulatorOptions options;
        options.tcpPort = -1;
        options.ptyCom = 7;
        options.dir = dir.Path();
        options.terminator = terminator;
        options.usbProductId = productId;
        ASSERT_TRUE(sim.Start(options)) << sim.LastError();
        ASSERT_TRUE(port.OpenSerial("ports/COM7"));
    }

    qmrtest::ScopedWorkDir dir;
    qmrsim::Simulator sim;
    LineClient port;
};

TEST_F(SimPty, PublishesLinkAndDescriptor)
{
    Begin("\n", qmr::kQmrUsbProductIdAlt);
    EXPECT_EQ(sim.PtyLink(), dir.Path() / "ports" / "COM7");
    EXPECT_EQ(std::filesystem::read_symlink("ports/COM7").string(), sim.PtySlavePath());
    EXPECT_EQ(qmrtest::ReadFile("ports/COM7.usb"), "vid=2f5a\npid=3401\nserial=SN34000123\nname=QMR3400\n");
    EXPECT_EQ(sim.TcpPort(), -1);
    sim.Stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("ports/COM7")));
    EXPECT_FALSE(std::filesystem::exists("ports/COM7.usb"));
}

struct TerminatorCase {
    const char* reply;
    const char* input;
};

void PrintTo(const TerminatorCase& c, std::ostream* os)
{
    PrintSafe(std::string("reply") + (c.reply[0] == '\r' ? (c.reply[1] ? "CRLF" : "CR") : "LF") + "_input" +
                  (c.input[0] == '\r' ? (c.input[1] ? "CRLF" : "CR") : "LF"),
              os);
}

class SimPtyTerminator : public SimPty, public ::testing::WithParamInterface<TerminatorCase> {};

TEST_P(SimPtyTerminator, AnswersEveryInputLineEnd)
{
    Begin(GetParam().reply);
    for (const char* line : {"*IDN?", "*OPC?", ":SYST:ERR?"}) {
        ASSERT_TRUE(port.Send(line, GetParam().input));
    }
    EXPECT_EQ(port.ReadLine(2000ms, GetParam().reply), "QMR,QMR3400,SN34000123,1.05");
    EXPECT_EQ(port.ReadLine(2000ms, GetParam().reply), "1");
    EXPECT_EQ(port.ReadLine(2000ms, GetParam().reply), "0,\"NO ERROR\"");
    EXPECT_EQ(sim.RecordCount(), 3u) << "a CR LF is one line end";
    EXPECT_EQ(sim.Records().front().face, qmrsim::Face::Pty);
}

INSTANTIATE_TEST_SUITE_P(Ends, SimPtyTerminator,
                         ::testing::Values(TerminatorCase{"\n", "\n"}, TerminatorCase{"\n", "\r\n"},
                                           TerminatorCase{"\r\n", "\r"}, TerminatorCase{"\r", "\r\n"}));

TEST_F(SimPty, CrLfSplitAcrossWritesIsOneLineEnd)
{
    Begin();
    port.SendRaw("*OPC?\r");
    EXPECT_EQ(port.ReadLine(), "1");
    port.SendRaw("\n*ESR?\n");
    EXPECT_EQ(port.ReadLine(), "0");
    EXPECT_EQ(sim.RecordCount(), 2u);
}

TEST_F(SimPty, ByteTimeOf19200Baud)
{
    Begin();
    sim.SetByteTime(qmrsim::Simulator::kByteTime19200);
    sim.OverrideReply("*IDN?", "QMR,QMR3400,SN34000"); // 19 bytes and the terminator
    Clock::time_point sent = Clock::now();
    port.Send("*IDN?");
    EXPECT_EQ(port.ReadLine(), "QMR,QMR3400,SN34000");
    // The last byte leaves 19 byte times after the first; how late the first one was seen
    // here depends on the scheduler, so the whole reply is timed from the query.
    EXPECT_GE(Clock::now() - sent, std::chrono::microseconds(19 * 521));

    sim.SetByteTime(std::chrono::microseconds(0));
    sent = Clock::now();
    EXPECT_EQ(port.Ask("*IDN?"), "QMR,QMR3400,SN34000");
    EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(500)) << "whole writes again";
}

TEST_F(SimPty, HangUpEndsTheProgramsPortAndRemovesTheLink)
{
    Begin();
    EXPECT_EQ(port.Ask("*OPC?"), "1");
    sim.HangUpPty();
    EXPECT_FALSE(sim.PtyPresent());
    EXPECT_EQ(port.WaitForEnd(2000ms), LineClient::End::HungUp);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("ports/COM7")));
    EXPECT_FALSE(std::filesystem::exists("ports/COM7.usb"));

    ASSERT_TRUE(sim.ReplugPty());
    EXPECT_TRUE(std::filesystem::exists("ports/COM7.usb"));
    LineClient again;
    ASSERT_TRUE(again.OpenSerial("ports/COM7"));
    EXPECT_EQ(again.Ask("*OPC?"), "1");
}

TEST_F(SimPty, HangUpInsteadOfAReply)
{
    Begin();
    sim.AddFault(qmrsim::Fault::Of(qmrsim::Fault::Kind::HangUp).On(":SYST:REM;ERR?"));
    EXPECT_EQ(port.Ask("*OPC?"), "1");
    port.Send(":SYST:REM;ERR?");
    EXPECT_EQ(port.WaitForEnd(2000ms), LineClient::End::HungUp);
    EXPECT_TRUE(qmrtest::WaitFor([&] { return !sim.PtyPresent(); }, 2000ms));
}

TEST_F(SimPty, PortClosedAndOpenedAgainStaysUsable)
{
    Begin();
    EXPECT_EQ(port.Ask("*OPC?"), "1");
    port.Close();
    ASSERT_TRUE(port.OpenSerial("ports/COM7"));
    EXPECT_EQ(port.Ask(":ISI:MODE?"), "I");
}

TEST_F(SimPty, BothFacesServeTheSameInstrument)
{
    qmrsim::SimulatorOptions options;
    options.tcpPort = 0;
    options.ptyCom = 3;
    options.dir = dir.Path();
    ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    LineClient tcp;
    ASSERT_TRUE(tcp.ConnectTcp(sim.TcpPort()));
    ASSERT_TRUE(port.OpenSerial("ports/COM3"));
    port.Send(":ISI:MODE P");
    EXPECT_EQ(port.Ask("*OPC?"), "1");
    EXPECT_EQ(tcp.Ask(":ISI:MODE?"), "P");
}

TEST(SimStart, FailsCleanlyWhenThePortIsTaken)
{
    qmrtest::ScopedWorkDir dir;
    qmrsim::Simulator first;
    qmrsim::SimulatorOptions options;
    options.tcpPort = 0;
    ASSERT_TRUE(first.Start(options));
    qmrsim::Simulator second;
    options.tcpPort = first.TcpPort();
    options.ptyCom = 5;
    EXPECT_FALSE(second.Start(options));
    EXPECT_NE(second.LastError().find("bind"), std::string::npos) << second.LastError();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("ports/COM5")));
}

} // namespace
} // namespace simtest
