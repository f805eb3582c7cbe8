#include "platform/PortNames.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using qmr::platform::ComNumberForDeviceName;
using qmr::platform::DevicePathForCom;

TEST(PortNames, FixedRangesWithoutLinks)
{
    qmrtest::ScopedWorkDir dir;
    EXPECT_EQ(DevicePathForCom(1), "/dev/ttyACM0");
    EXPECT_EQ(DevicePathForCom(32), "/dev/ttyACM31");
    EXPECT_EQ(DevicePathForCom(33), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForCom(64), "/dev/ttyUSB31");
    EXPECT_EQ(DevicePathForCom(65), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForCom(96), "/dev/ttyS31");
    EXPECT_EQ(DevicePathForCom(97), "");
    EXPECT_EQ(DevicePathForCom(0), "");
    EXPECT_EQ(DevicePathForCom(-3), "");
}

TEST(PortNames, PortsLinkWinsOverRangesAndNamesHighNumbers)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    pty.PublishAs(1);
    pty.PublishAs(200);
    EXPECT_EQ(DevicePathForCom(1), "ports/COM1");
    EXPECT_EQ(DevicePathForCom(200), "ports/COM200");
    EXPECT_EQ(DevicePathForCom(2), "/dev/ttyACM1");
}

TEST(PortNames, ComNumberOfKernelNames)
{
    EXPECT_EQ(ComNumberForDeviceName("ttyACM0"), 1);
    EXPECT_EQ(ComNumberForDeviceName("/dev/ttyACM31"), 32);
    EXPECT_EQ(ComNumberForDeviceName("ttyUSB2"), 35);
    EXPECT_EQ(ComNumberForDeviceName("ttyS0"), 65);
    EXPECT_EQ(ComNumberForDeviceName("ttyACM32"), 0);
    EXPECT_EQ(ComNumberForDeviceName("ttyACMx"), 0);
    EXPECT_EQ(ComNumberForDeviceName("ttyACM"), 0);
    EXPECT_EQ(ComNumberForDeviceName("tty0"), 0);
    EXPECT_EQ(ComNumberForDeviceName("ttyUSB123"), 0);
}
