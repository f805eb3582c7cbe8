// The instrument's command set and status model, asked through the network face.

#include "SimFixture.h"
#include "Simerrors.h"

#include <gtest/gtest.h>

namespace simtest {
namespace {

using namespace std::chrono_literals;

using qmrsim::RangeShape;

const std::string kNoError = "0,\"NO ERROR\"";

TEST_F(SimTest, IdentityHasFourFieldsWithTheSerialThird)
{
    EXPECT_EQ(Ask("*IDN?"), "QMR,QMR3400,SN34000123,1.05");
    sim.instrument().SetSerial("SN34000999");
    EXPECT_EQ(Ask("*IDN?"), "QMR,QMR3400,SN34000999,1.05");
}

TEST_F(SimTest, ErrorQueueGivesEntriesOldestFirstThenNoError)
{
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
    tcp.Send(":FOO:BAR?"); // an undefined query answers nothing
    ASSERT_TRUE(qmrtest::WaitFor([&] { return sim.RecordCount() == 2; }, 2000ms));
    sim.instrument().PushError(qmrsim::kErrTimeOut);
    tcp.Send(":ISI:LEVE 120");
    EXPECT_EQ(Ask(":SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "-365,\"Time out error\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
}

TEST_F(SimTest, FullErrorQueueEndsInOverflow)
{
    for (int i = 0; i < 12; ++i) {
        sim.instrument().PushError(-100 - i);
    }
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(Ask(":SYST:ERR?").substr(0, 4), "-10" + std::to_string(i)) << i;
    }
    EXPECT_EQ(Ask(":SYST:ERR?"), "-350,\"Queue overflow\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
}

TEST_F(SimTest, StatusByteShowsQueueAndEventSummary)
{
    // Without service requests the summary bit alone is set: 0x04 | 0x20.
    EXPECT_EQ(Ask("*SRE 0;*ESE 32;*OPC?"), "1");
    EXPECT_EQ(Ask("*STB?"), "0");
    tcp.Send(":NOPE");
    EXPECT_EQ(Ask("*STB?"), "36");
    EXPECT_EQ(Ask("*ESR?"), "32") << "command error bit";
    EXPECT_EQ(Ask("*ESR?"), "0") << "reading clears the register";
    EXPECT_EQ(Ask("*STB?"), "4") << "the error is still queued";
    EXPECT_EQ(Ask(":SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(Ask("*STB?"), "0");
}

TEST_F(SimTest, EventSummaryRequestsServiceAfterPowerOn)
{
    EXPECT_EQ(Ask("*SRE?"), "32");
    EXPECT_EQ(Ask("*ESE 68;*OPC?"), "1");
    EXPECT_EQ(Ask("*ESE?"), "68");
    tcp.Send(":SYST:ERR? 5"); // a query error: the parameter is not allowed
    EXPECT_EQ(Ask("*STB?"), "4") << "a command error is not enabled by 68";
    EXPECT_EQ(Ask(":SYST:ERR?"), "-108,\"Parameter not allowed\"");
    sim.instrument().PushError(-410);
    EXPECT_EQ(Ask("*STB?"), "100") << "query error enabled: 0x04 | 0x20 | 0x40";
}

TEST_F(SimTest, LocalKeyRaisesUserRequestAndGoesLocal)
{
    EXPECT_EQ(Ask("*ESE 68;*OPC?"), "1");
    EXPECT_EQ(Ask(":SYST:REM;ERR?"), kNoError);
    EXPECT_TRUE(sim.instrument().State().remote);
    EXPECT_TRUE(sim.instrument().PressLocalKey());
    EXPECT_FALSE(sim.instrument().State().remote);
    EXPECT_EQ(Ask("*STB?"), "96") << "event summary 0x20 and request for service 0x40";
    EXPECT_EQ(Ask("*ESR?"), "64") << "user request";
    EXPECT_EQ(Ask("*STB?"), "0");
}

TEST_F(SimTest, LockedPanelIgnoresTheLocalKey)
{
    EXPECT_EQ(Ask(":SYST:REM;:SYST:KLOC ON;:SYST:KLOC?"), "ON");
    EXPECT_FALSE(sim.instrument().PressLocalKey());
    EXPECT_TRUE(sim.instrument().State().remote);
    EXPECT_EQ(Ask("*ESR?"), "0");
}

TEST_F(SimTest, ClearStatusEmptiesQueueAndRegister)
{
    sim.instrument().PushError(-222);
    sim.instrument().PressLocalKey();
    tcp.Send("*CLS");
    EXPECT_EQ(Ask("*ESR?"), "0");
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
    tcp.Send("*OPC");
    EXPECT_EQ(Ask("*ESR?"), "1") << "operation complete";
}

struct Exchange {
    const char* send;
    const char* reply; // nullptr: the line answers nothing
};

void PrintTo(const std::vector<Exchange>& sequence, std::ostream* os)
{
    PrintSafe(sequence.front().send, os);
}

class SimCompound : public SimTest, public ::testing::WithParamInterface<std::vector<Exchange>> {};

TEST_P(SimCompound, RepliesJoinIntoOneLine)
{
    for (const Exchange& e : GetParam()) {
        if (e.reply == nullptr) {
            tcp.Send(e.send);
        } else {
            EXPECT_EQ(Ask(e.send), e.reply) << e.send;
        }
    }
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SimCompound,
    ::testing::Values(std::vector<Exchange>{{":SYST:KLOC?", "OFF"},
                                            {":SYST:KLOC ON;:SYST:KLOC?", "ON"},
                                            {":SYST:KLOC OFF;:SYST:KLOC?", "OFF"}},
                      std::vector<Exchange>{{":SYST:REM;ERR?", "0,\"NO ERROR\""}, {":SYST:LOC;*OPC?", "1"}},
                      std::vector<Exchange>{{":ISI:MODE?", "I"},
                                            {":ISI:MODE P;*OPC?", "1"},
                                            {":ISI:MODE?", "P"},
                                            {":ISI:MODE I;*OPC?", "1"},
                                            {":ISI:MODE?", "I"}},
                      std::vector<Exchange>{{":ISI:RANG? 1000;:SYST:ERR?", "0,500;0,\"NO ERROR\""},
                                            {"*IDN?;*OPC?;:ISI:MODE?", "QMR,QMR3400,SN34000123,1.05;1;I"}},
                      std::vector<Exchange>{{":ISI:LEVE 50.5;:ISI:LEVE?", "50.5"},
                                            {":ISI:LEVE 0.05;LEVE?", "0.1"},
                                            {":ISI:IL 123,1000;:ISI:IL?", "123,1000"},
                                            {":isi:il?", "123,1000"},
                                            {":ISI:INSERTION?;*OPC?", nullptr}, // the line ends at its command error
                                            {":SYST:ERR?", "-113,\"Undefined header\""}},
                      std::vector<Exchange>{{":DISP:BRIG 44;*OPC?", "1"},
                                            {":DISP:BRIG?", "44"},
                                            {":DISP:AUTO 0;*OPC?", "1"},
                                            {":DISP:AUTO?", "0"},
                                            {":SYST:BEEP:STAT 0;*OPC?", "1"},
                                            {":SYST:BEEP:STAT?", "OFF"},
                                            {":SYST:BEEP:STAT 1;*OPC?", "1"},
                                            {":SYST:BEEP:STAT?", "ON"},
                                            {":SYST:COMM:SOCK:ADDR 10.0.0.5;*OPC?", "1"},
                                            {":SYST:COMM:SOCK:ADDR?", "10.0.0.5"},
                                            {":SYST:COMM:SOCK:ADDR:AUTO?", "OFF"},
                                            {":SYST:COMM:SOCK:ADDR AUTO;*OPC?", "1"},
                                            {":SYST:COMM:SOCK:ADDR:AUTO?", "ON"},
                                            {":SYSTEM:COMMUNICATE:SOCKET:ADDRESS?", "10.0.0.5"}}));

struct Refusal {
    const char* send;
    const char* error;
    bool restRuns; // an execution error lets the rest of the line run; a command error ends it
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    PrintSafe(r.send, os);
}

class SimRefusal : public SimTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SimRefusal, QueuesTheStandardError)
{
    const Refusal& r = GetParam();
    tcp.Send(std::string(r.send) + ";*OPC?");
    if (r.restRuns) {
        EXPECT_EQ(tcp.ReadLine(), "1");
    }
    EXPECT_EQ(Ask(":SYST:ERR?"), r.error);
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
}

INSTANTIATE_TEST_SUITE_P(Values, SimRefusal,
                         ::testing::Values(Refusal{":ISI:LEVE 100.1", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:LEVE -1", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:IL 501,1000", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:IL 100,4001", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:IL 100,9", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:MODE X", "-224,\"Illegal parameter value\"", true},
                                           Refusal{":DISP:BRIG 255", "-222,\"Data out of range\"", true},
                                           Refusal{":DISP:AUTO 121", "-222,\"Data out of range\"", true},
                                           Refusal{":SYST:COMM:SOCK:ADDR 300.1.1.1", "-224,\"Illegal parameter value\"",
                                                   true},
                                           Refusal{":SYST:KLOC MAYBE", "-224,\"Illegal parameter value\"", true},
                                           Refusal{"*ESE 256", "-222,\"Data out of range\"", true},
                                           Refusal{":ISI:LEVE abc", "-104,\"Data type error\"", false},
                                           Refusal{":ISI:LEVE", "-109,\"Missing parameter\"", false},
                                           Refusal{":SYST:REM 1", "-108,\"Parameter not allowed\"", false},
                                           Refusal{":SYST:LOC?", "-113,\"Undefined header\"", false}));

struct RangeCase {
    int frequency;
    const char* reply;
};

void PrintTo(const RangeCase& r, std::ostream* os)
{
    *os << r.frequency;
}

class SimRange : public SimTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(SimRange, LossRangeFallsWithFrequency)
{
    EXPECT_EQ(Ask(":ISI:RANG? " + std::to_string(GetParam().frequency) + ";:SYST:ERR?"), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimRange,
    ::testing::Values(RangeCase{10, "0,700;0,\"NO ERROR\""}, RangeCase{999, "0,700;0,\"NO ERROR\""},
                      RangeCase{1000, "0,500;0,\"NO ERROR\""}, RangeCase{2000, "0,500;0,\"NO ERROR\""},
                      RangeCase{2001, "0,300;0,\"NO ERROR\""}, RangeCase{4000, "0,300;0,\"NO ERROR\""},
                      RangeCase{4001, "-222,\"Data out of range\""}, RangeCase{9, "-222,\"Data out of range\""}));

TEST_F(SimTest, RangeTableAndCurrentFrequency)
{
    sim.instrument().SetRangeTable({{1500, 5, 650}, {4000, 10, 250}});
    EXPECT_EQ(Ask(":ISI:RANG? 1500"), "5,650");
    EXPECT_EQ(Ask(":ISI:RANG? 1501"), "10,250");
    EXPECT_EQ(Ask(":ISI:IL 20,3000;:ISI:RANG?"), "10,250") << "without a frequency: the current one";
    EXPECT_EQ(Ask(":ISI:IL 5,1000;:ISI:IL 5,3000;:ISI:IL?"), "5,1000") << "5 is below the minimum at 30 GHz";
    EXPECT_EQ(Ask(":SYST:ERR?"), "-222,\"Data out of range\"");
}

struct ShapeCase {
    RangeShape shape;
    const char* reply;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << static_cast<int>(c.shape);
}

class SimRangeShape : public SimTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(SimRangeShape, RangeReplyTakesTheShape)
{
    sim.instrument().SetRangeShape(GetParam().shape);
    EXPECT_EQ(Ask(":ISI:RANG? 2500;:SYST:ERR?"), GetParam().reply);
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError);
}

INSTANTIATE_TEST_SUITE_P(Shapes, SimRangeShape,
                         ::testing::Values(ShapeCase{RangeShape::Normal, "0,300;0,\"NO ERROR\""},
                                           ShapeCase{RangeShape::NoSemicolon, "0,300"},
                                           ShapeCase{RangeShape::NoComma, "0 300;0 \"NO ERROR\""},
                                           ShapeCase{RangeShape::Refused, "-222,\"Data out of range\""}));

// The ready-made command texts of the developer window, completed as an operator would.
struct LabelCase {
    const char* send;
    const char* reply; // "" when the command answers nothing
};

void PrintTo(const LabelCase& c, std::ostream* os)
{
    PrintSafe(c.send, os);
}

class SimManualLabels : public SimTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(SimManualLabels, AnswersWithoutError)
{
    const LabelCase& c = GetParam();
    if (c.reply[0] != '\0') {
        EXPECT_EQ(Ask(c.send), c.reply);
    } else {
        tcp.Send(c.send);
    }
    EXPECT_EQ(Ask(":SYST:ERR?"), kNoError) << c.send;
}

INSTANTIATE_TEST_SUITE_P(Labels, SimManualLabels,
                         ::testing::Values(LabelCase{":SYST:ERR?", "0,\"NO ERROR\""}, LabelCase{"*RST", ""},
                                           LabelCase{"*IDN?", "QMR,QMR3400,SN34000123,1.05"},
                                           LabelCase{":MEMO:DEFI:INIT", ""}, LabelCase{":DEBU:SERI SN1", ""},
                                           LabelCase{":SYST:COMM:SOCK:ADDR 10.1.2.3", ""},
                                           LabelCase{":ISI:LEVE 20", ""}, LabelCase{":ISI:RANG?", "0,500"},
                                           LabelCase{":ISI:IL 10,1000", ""}, LabelCase{":ISI:MODE P", ""},
                                           LabelCase{":SYST:BEEP:STAT OFF", ""}, LabelCase{":DISPl:BRIG 50", ""},
                                           LabelCase{":DISPlay:AUTOoff 5", ""}, LabelCase{":DEBUG:DBG 99", ""},
                                           LabelCase{":DEBUG:DBG 1", ""}));

TEST_F(SimTest, ManualLabelsChangeTheState)
{
    tcp.Send(":DEBU:SERI SN777");
    tcp.Send(":ISI:MODE P");
    tcp.Send(":DISPl:BRIG 50");
    EXPECT_EQ(Ask("*IDN?"), "QMR,QMR3400,SN777,1.05");
    EXPECT_EQ(Ask(":ISI:MODE?;:DISP:BRIG?"), "P;50");
    tcp.Send("*RST");
    tcp.Send(":MEMO:DEFI:INIT");
    EXPECT_EQ(Ask(":ISI:MODE?;:DISP:BRIG?"), "I;80");
    EXPECT_EQ(Ask(":DEBU:SERI?"), "SN777") << "the serial number survives the reset";
}

} // namespace
} // namespace simtest
