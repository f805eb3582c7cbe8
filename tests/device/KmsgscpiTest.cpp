// The SCPI error collector: classification, the texts of its two windows, the one instance,
// and Add from the communication thread while the GUI thread shows.
#include "app/instrument/Kmsgscpi.h"

#include "DeviceTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using devicetest::AutoAnswer;

namespace {

class Collector : public ::testing::Test {
protected:
    void TearDown() override { KMessageScpiError::DeleteInstance(); }
    KMessageScpiError& collector_ = *KMessageScpiError::GetInstance();
};

} // namespace

TEST_F(Collector, TwoErrorsShowTheSeveralErrorsWarning)
{
    EXPECT_TRUE(collector_.Add("-113,\"Undefined header\""));
    EXPECT_TRUE(collector_.Add("-222,\"Data out of range\""));
    EXPECT_EQ(collector_.GetErrorCount(), 2);
    EXPECT_FALSE(collector_.HasFatal());
    AutoAnswer answer;
    EXPECT_EQ(collector_.ShowWarnings(), 2);
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].caption, "  Warning");
    EXPECT_EQ(answer.Shown()[0].upper, "Warning: Several errors were found. ");
    EXPECT_EQ(answer.Shown()[0].lower, "-113,\"Undefined header\"  -222,\"Data out of range\"  ");
    EXPECT_EQ(collector_.GetErrorCount(), 0);
    EXPECT_EQ(collector_.ShowWarnings(), 0);
    EXPECT_EQ(answer.Count(), 1u) << "nothing left to show";
}

TEST_F(Collector, OneErrorShowsTheSingularWarning)
{
    EXPECT_TRUE(collector_.Add("-102,\"Syntax error\""));
    AutoAnswer answer;
    EXPECT_EQ(collector_.ShowWarnings(), 1);
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].upper, "Warning: An error was found. ");
    EXPECT_EQ(answer.Shown()[0].lower, "-102,\"Syntax error\"  ");
}

TEST_F(Collector, AFatalErrorGoesToItsOwnWindowOnce)
{
    EXPECT_TRUE(collector_.Add("-315,\"Configuration memory lost\""));
    EXPECT_EQ(collector_.GetErrorCount(), 0);
    EXPECT_TRUE(collector_.HasFatal());
    AutoAnswer answer;
    EXPECT_EQ(collector_.ShowWarnings(), 0);
    EXPECT_EQ(answer.Count(), 0u);
    EXPECT_TRUE(collector_.ShowFatal());
    ASSERT_EQ(answer.Count(), 1u);
    EXPECT_EQ(answer.Shown()[0].caption, "  Error ");
    EXPECT_EQ(answer.Shown()[0].upper, "A fatal error was found!  Please restart QMR3400.");
    EXPECT_EQ(answer.Shown()[0].lower, "-315,\"Configuration memory lost\"  ");
    EXPECT_FALSE(collector_.HasFatal());
    EXPECT_FALSE(collector_.ShowFatal());
    EXPECT_EQ(answer.Count(), 1u);
}

TEST_F(Collector, CodesAreSortedByTheTable)
{
    struct Case {
        const char* reply;
        bool collected;
        bool fatal;
    };
    const Case cases[] = {
        {"0,\"No error\"", false, false},
        {"+0,\"No error\"", false, false},
        {"-500,\"Power on\"", false, false},
        {"-800,\"Operation complete\"", false, false},
        {"NO ERROR", false, false},
        {"", false, false},
        {"5,\"Device specific\"", false, false},
        {"-365,\"Time out error\"", true, true},
        {"-240,\"Hardware error\"", true, true},
        {"-315", true, true},
        {"-100,\"Command error\"", true, false},
        {"-1", true, false},
        {" -410,\"Query INTERRUPTED\"", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        KMessageScpiError fresh;
        EXPECT_EQ(fresh.Add(c.reply), c.collected);
        EXPECT_EQ(fresh.HasFatal(), c.fatal);
        EXPECT_EQ(fresh.GetErrorCount(), c.collected && !c.fatal ? 1 : 0);
    }
    EXPECT_FALSE(collector_.Add(nullptr));
    EXPECT_EQ(KMessageScpiError::ParseCode("-222,\"x\""), -222);
    EXPECT_EQ(KMessageScpiError::ParseCode("NO ERROR"), 0);
}

TEST_F(Collector, OneInstanceUntilDeleted)
{
    KMessageScpiError* first = KMessageScpiError::GetInstance();
    EXPECT_EQ(first, &collector_);
    EXPECT_EQ(KMessageScpiError::GetInstance(), first);
    first->Add("-113,\"Undefined header\"");
    first->Add("-240,\"Hardware error\"");
    KMessageScpiError::DeleteInstance();
    KMessageScpiError::DeleteInstance(); // none left: nothing happens
    KMessageScpiError* second = KMessageScpiError::GetInstance();
    EXPECT_EQ(second->GetErrorCount(), 0);
    EXPECT_FALSE(second->HasFatal());
}

TEST_F(Collector, AddsFromAnotherThreadWhileTheWarningIsShown)
{
    constexpr int kErrors = 300;
    std::atomic<int> added{0};
    std::atomic<int> fatals{0};
    std::thread communication([&] {
        for (int i = 0; i < kErrors; ++i) {
            collector_.Add("-222,\"Data out of range\"");
            if (i % 50 == 0) {
                collector_.Add("-240,\"Hardware error\"");
                fatals.fetch_add(1);
            }
            collector_.HasFatal();
            added.fetch_add(1);
        }
    });
    AutoAnswer answer;
    int shown = 0;
    int fatalWindows = 0;
    while (added.load() < kErrors || collector_.GetErrorCount() > 0 || collector_.HasFatal()) {
        fatalWindows += collector_.ShowFatal() ? 1 : 0;
        shown += collector_.ShowWarnings();
        QCoreApplication::processEvents();
    }
    communication.join();
    shown += collector_.ShowWarnings();
    EXPECT_EQ(shown, kErrors);
    EXPECT_GE(fatalWindows, 1);
    EXPECT_GE(answer.Count(), 1u);
}
