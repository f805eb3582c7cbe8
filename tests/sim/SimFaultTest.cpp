// The simulator's fault knobs as the program's link sees them through the network face.

#include "SimFixture.h"
#include "Simerrors.h"

#include <gtest/gtest.h>

namespace simtest {
namespace {

using namespace std::chrono_literals;

using qmrsim::Fault;
using Kind = qmrsim::Fault::Kind;
using Clock = std::chrono::steady_clock;

struct FatalCase {
    int code;
    const char* reply;
};

void PrintTo(const FatalCase& c, std::ostream* os)
{
    *os << -c.code;
}

class SimFatal : public SimTest, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(SimFatal, ErrorOnACommandAnswersInTheSameLine)
{
    sim.ErrorOn(":SYST:REM;ERR?", GetParam().code, 1);
    EXPECT_EQ(Ask(":SYST:REM;ERR?"), GetParam().reply);
    EXPECT_EQ(Ask(":SYST:REM;ERR?"), "0,\"NO ERROR\"") << "used up after one line";
}

INSTANTIATE_TEST_SUITE_P(Codes, SimFatal,
                         ::testing::Values(FatalCase{qmrsim::kErrTimeOut, "-365,\"Time out error\""},
                                           FatalCase{qmrsim::kErrConfigMemoryLost,
                                                     "-315,\"Configuration memory lost\""},
                                           FatalCase{qmrsim::kErrHardware, "-240,\"Hardware error\""},
                                           FatalCase{-113, "-113,\"Undefined header\""}));

TEST_F(SimTest, ErrorOnPrefixActsOnEveryMatchingLine)
{
    sim.ErrorOn(":ISI:LEVE *", -222);
    tcp.Send(":ISI:LEVE 10.0");
    tcp.Send(":ISI:LEVE 20.0");
    EXPECT_EQ(Ask(":ISI:LEVE?"), "20.0") << "the value still applies; the query does not match";
    EXPECT_EQ(Ask(":SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "0,\"NO ERROR\"");
}

TEST_F(SimTest, OverrideReplacesAndAddsReplies)
{
    sim.OverrideReply("*IDN?", "ACME,X");
    sim.OverrideReply(":SYST:LOC", "LOCAL", 1);
    EXPECT_EQ(Ask("*IDN?"), "ACME,X");
    EXPECT_EQ(Ask(":SYST:LOC"), "LOCAL") << "a command without reply gets one";
    tcp.Send(":SYST:LOC");
    EXPECT_EQ(Ask("*IDN?"), "ACME,X") << "the second local command answered nothing";
}

TEST_F(SimTest, LocalAnswerIsOnlyForALineThatJustGoesLocal)
{
    sim.instrument().SetLocalAnswer("1");
    EXPECT_EQ(Ask(":SYST:LOC"), "1");
    EXPECT_EQ(Ask(":SYST:LOC;*OPC?"), "1");
    sim.instrument().SetLocalAnswer(std::nullopt);
    tcp.Send(":SYST:LOC");
    EXPECT_EQ(Ask("*OPC?"), "1");
}

TEST_F(SimTest, DroppedReplyLeavesTheNextOneFirst)
{
    sim.DropNext();
    tcp.Send("*IDN?");
    EXPECT_EQ(Ask(":ISI:MODE?"), "I");
    EXPECT_EQ(sim.FaultCount(), 0u);
    sim.AddFault(Fault::Of(Kind::Drop).On(":ISI:MODE?").Times(-1));
    tcp.Send(":ISI:MODE?");
    tcp.Send(":ISI:MODE?");
    EXPECT_EQ(Ask("*OPC?"), "1");
}

TEST_F(SimTest, DelayedReplyKeepsTheOrder)
{
    sim.DelayNext(std::chrono::milliseconds(300));
    Clock::time_point sent = Clock::now();
    tcp.Send("*IDN?");
    tcp.Send("*OPC?");
    EXPECT_EQ(tcp.ReadLine(), "QMR,QMR3400,SN34000123,1.05");
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(290));
    EXPECT_EQ(tcp.ReadLine(), "1");
}

TEST_F(SimTest, EveryReplyLate)
{
    sim.SetReplyDelay(std::chrono::milliseconds(150));
    Clock::time_point sent = Clock::now();
    EXPECT_EQ(Ask("*OPC?"), "1");
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(140));
}

TEST_F(SimTest, SplitReplyComesInTwoParts)
{
    sim.SplitNext(4, std::chrono::milliseconds(250));
    Clock::time_point sent = Clock::now();
    tcp.Send("*IDN?");
    EXPECT_EQ(tcp.ReadBytes(4, 1000ms), "QMR,");
    EXPECT_EQ(tcp.ReadLine(), "QMR3400,SN34000123,1.05");
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(250));
}

TEST_F(SimTest, GluedLineArrivesWithTheReply)
{
    sim.GlueNext("0,\"NO ERROR\"");
    tcp.Send("*ESR?");
    std::string both = tcp.ReadBytes(15, 2000ms);
    EXPECT_EQ(both, "0\n0,\"NO ERROR\"\n");
}

class SimOverlong : public SimTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(SimOverlong, ReplyHasTheLength)
{
    sim.OverlongNext(GetParam());
    std::optional<std::string> line = tcp.Ask(":SYST:ERR?");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->size(), GetParam());
    EXPECT_EQ(line->substr(0, 12), "0,\"NO ERROR\"");
    EXPECT_EQ(line->back(), 'X');
    EXPECT_EQ(Ask("*OPC?"), "1");
}

INSTANTIATE_TEST_SUITE_P(Lengths, SimOverlong, ::testing::Values(81u, 129u, 161u, 10000u));

TEST_F(SimTest, OddAnswersToModeOpcAndEmptyQueue)
{
    sim.instrument().SetModeAnswer("X");
    sim.instrument().SetOpcAnswer("0");
    sim.instrument().SetNoErrorText("0,\"No error\"");
    EXPECT_EQ(Ask(":ISI:MODE?"), "X");
    EXPECT_EQ(Ask(":ISI:MODE P;*OPC?"), "0");
    EXPECT_EQ(Ask("*ESE 68;*OPC?"), "0");
    EXPECT_EQ(Ask(":SYST:ERR?"), "0,\"No error\"");
    sim.instrument().SetModeAnswer("");
    EXPECT_EQ(Ask(":ISI:MODE?"), "P");
}

TEST_F(SimTest, FinClosesTheConnectionAndAnotherIsServed)
{
    sim.TcpFin();
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Closed);
    EXPECT_FALSE(sim.TcpClientConnected());
    LineClient again;
    ASSERT_TRUE(again.ConnectTcp(sim.TcpPort()));
    EXPECT_EQ(again.Ask("*OPC?"), "1");
    EXPECT_EQ(sim.TcpAccepted(), 2);
}

TEST_F(SimTest, ResetAbortsTheConnection)
{
    sim.TcpReset();
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Reset);
}

TEST_F(SimTest, CloseInsteadOfAReply)
{
    sim.AddFault(Fault::Of(Kind::Fin).On(":ISI:MODE?"));
    EXPECT_EQ(Ask("*OPC?"), "1");
    tcp.Send(":ISI:MODE?");
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Closed);

    ASSERT_TRUE(tcp.ConnectTcp(sim.TcpPort()));
    sim.AddFault(Fault::Of(Kind::Reset).On("*IDN?"));
    tcp.Send("*IDN?");
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Reset);
}

TEST_F(SimTest, NewClientReplacesTheOld)
{
    LineClient second;
    ASSERT_TRUE(second.ConnectTcp(sim.TcpPort()));
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Closed);
    EXPECT_EQ(second.Ask("*OPC?"), "1");
}

TEST_F(SimTest, RecordKeepsEveryLineWithItsTime)
{
    Clock::time_point before = Clock::now();
    tcp.Send("*CLS");
    EXPECT_EQ(Ask(":ISI:MODE?"), "I");
    tcp.SendRaw(":ISI:LEVE 1.0\r\n*OPC?\r");
    EXPECT_EQ(tcp.ReadLine(), "1");
    Clock::time_point after = Clock::now();
    std::vector<qmrsim::Received> records = sim.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].line, "*CLS");
    EXPECT_EQ(records[1].line, ":ISI:MODE?");
    EXPECT_EQ(records[2].line, ":ISI:LEVE 1.0");
    EXPECT_EQ(records[3].line, "*OPC?");
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].face, qmrsim::Face::Tcp);
        EXPECT_GE(records[i].at, before);
        EXPECT_LE(records[i].at, after);
        if (i > 0) {
            EXPECT_GE(records[i].at, records[i - 1].at);
        }
    }
    sim.ClearRecords();
    EXPECT_EQ(sim.RecordCount(), 0u);
}

TEST_F(SimTest, RecordFileHasOneLinePerCommand)
{
    ASSERT_TRUE(sim.SetRecordFile("record.txt"));
    EXPECT_EQ(Ask("*IDN?"), "QMR,QMR3400,SN34000123,1.05");
    EXPECT_EQ(Ask(":SYST:ERR?"), "0,\"NO ERROR\"");
    std::string text = qmrtest::ReadFile("record.txt");
    size_t newline = text.find('\n');
    ASSERT_NE(newline, std::string::npos);
    std::string first = text.substr(0, newline);
    size_t blank = first.find(' ');
    ASSERT_NE(blank, std::string::npos);
    double ms = std::stod(first.substr(0, blank));
    EXPECT_GE(ms, 0.0);
    EXPECT_EQ(first.substr(blank + 1), "*IDN?");
    EXPECT_NE(text.find(" :SYST:ERR?\n"), std::string::npos);
}

TEST_F(SimTest, TerminatorOfReplies)
{
    sim.SetTerminator("\r\n");
    tcp.Send("*OPC?");
    EXPECT_EQ(tcp.ReadLine(2000ms, "\r\n"), "1");
    sim.SetTerminator("\r");
    tcp.Send("*OPC?");
    EXPECT_EQ(tcp.ReadLine(2000ms, "\r"), "1");
}

TEST_F(SimTest, ByteTimeSpreadsAReply)
{
    sim.SetByteTime(qmrsim::Simulator::kByteTime19200);
    sim.OverrideReply("*IDN?", "QMR,QMR3400,SN34000"); // 19 bytes and the terminator
    Clock::time_point sent = Clock::now();
    tcp.Send("*IDN?");
    EXPECT_EQ(tcp.ReadLine(), "QMR,QMR3400,SN34000");
    // The last byte leaves 19 byte times after the first; how late the first one was seen
    // here depends on the scheduler, so the whole reply is timed from the query.
    EXPECT_GE(Clock::now() - sent, std::chrono::microseconds(19 * 521));
}

} // namespace
} // namespace simtest
