#include "app/windows/DeviceChangeNotifier.h"

#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(DeviceChangeNotifier, EmitsOnThisThreadWhenAPortComesAndGoes)
{
    qmrtest::ScopedWorkDir dir;
    // The ports/ watch alone: it is what reports here. Its inotify instance counts against
    // the user's limit, shared with every other program of the user on the machine.
    DeviceChangeNotifier notifier(nullptr, qmr::platform::DeviceWatch::Monitor::None);
    ASSERT_TRUE(notifier.IsWatching()) << "no inotify instance left for this user";
    QSignalSpy spy(&notifier, &DeviceChangeNotifier::devicesChanged);
    QThread* emittedOn = nullptr;
    QObject::connect(&notifier, &DeviceChangeNotifier::devicesChanged, [&] { emittedOn = QThread::currentThread(); });

    QTest::qWait(200);
    EXPECT_EQ(spy.count(), 0) << "nothing changed";

    // Generous: a loaded machine may hold this process back for seconds.
    constexpr int kReportWaitMs = 10000;
    qmrtest::PtyPair sim;
    sim.PublishAs(7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, kReportWaitMs));
    EXPECT_EQ(emittedOn, QThread::currentThread());

    int before = spy.count();
    fs::remove("ports/COM7");
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() > before; }, kReportWaitMs));

    before = spy.count();
    QTest::qWait(200);
    EXPECT_EQ(spy.count(), before);
}
