// A new frequency on the dB window: the range for it is read, the loss is brought into that
// range, shown, and sent with the new frequency a second after the range arrived.
#include "EngineRig.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QTest>

#include <algorithm>

namespace enginetest {
namespace {

using namespace std::chrono_literals;

const qmrsim::Received* FindRecord(const std::vector<qmrsim::Received>& records, const std::string& line)
{
    auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.line == line; });
    return it == records.end() ? nullptr : &*it;
}

TEST_F(EngineTest, NewFrequencyLimitsTheLossAndSendsItASecondAfterTheRange)
{
    StartSim();
    sim.instrument().SetFrequency(500); // 5 GHz: the loss may reach 70.0 dB
    sim.instrument().SetLoss(600);
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Window()->ranges.empty() && Module()->GetFunctionState() == fnIDLE; }, 5000));
    ASSERT_EQ(Window()->values.back(), 600);

    // 30 GHz allows at most 30.0 dB.
    ASSERT_TRUE(Module()->SetFrequency(3000));
    ASSERT_TRUE(WaitForLine(":ISI:IL 300,3000", 5s));
    ASSERT_TRUE(WaitIdle());

    EXPECT_EQ(Window()->ranges.back(), std::make_pair(int16_t{300}, int16_t{0}));
    EXPECT_EQ(Window()->values.back(), 300);
    EXPECT_EQ(Device()->GetFrequency(), 3000);
    EXPECT_EQ(Device()->GetLoss(), 300);

    const auto records = sim.Records();
    const qmrsim::Received* range = FindRecord(records, ":ISI:RANG? 3000;:SYST:ERR?");
    const qmrsim::Received* loss = FindRecord(records, ":ISI:IL 300,3000");
    ASSERT_NE(range, nullptr);
    ASSERT_NE(loss, nullptr);
    EXPECT_GE(loss->at - range->at, 1000ms);
    EXPECT_LT(loss->at - range->at, 1500ms);
    EXPECT_EQ(Count(":ISI:IL 300,3000"), 1);
}

TEST_F(EngineTest, LossWithinTheNewRangeIsSentUnchanged)
{
    StartSim();
    sim.instrument().SetFrequency(500);
    sim.instrument().SetLoss(200);
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Window()->ranges.empty() && Module()->GetFunctionState() == fnIDLE; }, 5000));

    ASSERT_TRUE(Module()->SetFrequency(1500));
    ASSERT_TRUE(WaitForLine(":ISI:IL 200,1500", 5s));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Window()->ranges.back(), std::make_pair(int16_t{500}, int16_t{0}));
    EXPECT_EQ(Window()->values.back(), 200);
}

} // namespace
} // namespace enginetest
