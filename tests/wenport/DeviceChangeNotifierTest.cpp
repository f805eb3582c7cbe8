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
    DeviceChangeNotifier notifier;
    ASSERT_TRUE(notifier.IsWatching());
    QSignalSpy spy(&notifier, &DeviceChangeNotifier::devicesChanged);
    QThread* emittedOn = nullptr;
    QObject::connect(&notifier, &DeviceChangeNotifier::devicesChanged, [&] { emittedOn = QThread::currentThread(); });

    QTest::qWait(200);
    EXPECT_EQ(spy.count(), 0) << "nothing changed";

    qmrtest::PtyPair sim;
    sim.PublishAs(7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 2000));
    EXPECT_EQ(emittedOn, QThread::currentThread());

    int before = spy.count();
    fs::remove("ports/COM7");
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() > before; }, 2000));

    before = spy.count();
    QTest::qWait(200);
    EXPECT_EQ(spy.count(), before);
}
