// The error poll's countdown, with a command module stand-in and a real device whose busy
// state comes from a real link.
#include "app/instrument/Kchkerr.h"
#include "app/instrument/Comdvqmr.h"
#include "app/link/Commodul.h"

#include "DeviceTestSupport.h"
#include "LinkPeers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

class PollTarget : public KPollTarget {
public:
    explicit PollTarget(KComDeviceQmr* device) : device_(device) {}
    bool IsBusy() override { return busy || device_->IsBusy(); }
    bool ReadStatusByte() override
    {
        ++polls;
        return device_->ReadStatusByte();
    }
    bool busy = false;
    int polls = 0;

private:
    KComDeviceQmr* device_;
};

class Checker : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder_.SetComDevice(&device_);
        device_.SetModule(&recorder_);
        checker_.SetDevice(&device_);
        checker_.SetModule(&target_);
    }
    void TearDown() override
    {
        device_.SetModule(nullptr);
        comModule_.Close();
    }
    void Open()
    {
        devicetest::WriteAnsweringCheck();
        device_.SetSetting(devicetest::LanSettings(peer_.Port()));
        ASSERT_TRUE(device_.Open(false));
        ASSERT_TRUE(peer_.Accept());
    }

    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer peer_;
    KComModule comModule_;
    KComDeviceQmr device_{&comModule_};
    devicetest::RecordingModule recorder_;
    PollTarget target_{&device_};
    KCheckQmrErrorStb checker_{2};
};

} // namespace

TEST_F(Checker, PollsEveryOtherSecondTick)
{
    Open();
    EXPECT_EQ(checker_.Countdown(), 2000);
    EXPECT_FALSE(checker_.Tick(1000));
    EXPECT_EQ(checker_.Countdown(), 1000);
    EXPECT_EQ(target_.polls, 0);
    EXPECT_TRUE(checker_.Tick(1000));
    EXPECT_EQ(target_.polls, 1);
    EXPECT_EQ(checker_.Countdown(), 2000);
    EXPECT_EQ(peer_.ReadUntil("\n"), "*STB?\n");
    EXPECT_EQ(device_.GetCommandState(), csREADSTB);
}

TEST_F(Checker, DueWhileTheDeviceIsBusyTriesAgainTwoTicksLater)
{
    Open();
    ASSERT_TRUE(device_.QueryLevel()); // a reply is awaited: busy
    recorder_.ClearCalls();
    EXPECT_FALSE(checker_.Tick(1000));
    EXPECT_TRUE(checker_.Tick(1000));
    EXPECT_EQ(target_.polls, 0);
    EXPECT_TRUE(recorder_.Calls().empty()) << "nothing was sent";
    EXPECT_EQ(checker_.Countdown(), 2000);
    device_.SetCommandState(csIDLE);
    EXPECT_FALSE(checker_.Tick(1000));
    EXPECT_TRUE(checker_.Tick(1000));
    EXPECT_EQ(target_.polls, 1);
}

TEST_F(Checker, DueWhileTheModuleIsBusyWaitsToo)
{
    target_.busy = true;
    EXPECT_FALSE(checker_.Tick(1500));
    EXPECT_TRUE(checker_.Tick(1500));
    EXPECT_EQ(checker_.Countdown(), 3000);
    EXPECT_EQ(target_.polls, 0);
    target_.busy = false;
    EXPECT_FALSE(checker_.Tick(1500));
    EXPECT_TRUE(checker_.Tick(1500));
    EXPECT_EQ(target_.polls, 1);
    EXPECT_EQ(checker_.Countdown(), 2000);
}

TEST_F(Checker, RaiseCountdownKeepsThePollAway)
{
    struct Case {
        int tickFirst;
        int before;
        int after;
    };
    for (const Case& c : {Case{1700, 300, 1200}, Case{200, 1800, 1800}, Case{800, 1200, 1200}}) {
        KCheckQmrErrorStb checker(2);
        checker.Tick(c.tickFirst);
        ASSERT_EQ(checker.Countdown(), c.before);
        checker.RaiseCountdown();
        EXPECT_EQ(checker.Countdown(), c.after);
    }
}

TEST_F(Checker, TheBaseCheckerReadsTheErrorQueue)
{
    Open();
    KCheckQmrError base(1);
    base.SetDevice(&device_);
    base.SetModule(&target_);
    EXPECT_TRUE(base.Tick(1000));
    EXPECT_EQ(peer_.ReadUntil("\n"), ":SYST:ERR?\n");
    EXPECT_EQ(device_.GetCommandState(), csREADERR);
    EXPECT_EQ(target_.polls, 0);
}

TEST_F(Checker, WithoutItsModuleItNeverPolls)
{
    KCheckQmrErrorStb lonely(1);
    lonely.SetDevice(&device_);
    EXPECT_FALSE(lonely.CanPoll());
    EXPECT_TRUE(lonely.Tick(1000));
    EXPECT_EQ(lonely.Countdown(), 2000);
}
