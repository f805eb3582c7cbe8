#include "platform/UsbSerialList.h"

#include "FakeSysfs.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

namespace fs = std::filesystem;
using qmr::platform::ListDescribedPorts;
using qmr::platform::ListUsbSerialDevicesSysfs;
using qmr::platform::ListUsbSerialDevicesUdev;
using qmr::platform::ListUsbSerialPorts;
using qmr::platform::ParsePortDescriptor;
using qmr::platform::UsbSerialListSource;
using qmr::platform::UsbSerialPort;

namespace {

auto Fields(const UsbSerialPort& p)
{
    return std::tie(p.comNumber, p.vendorId, p.productId, p.serial, p.product, p.device);
}

std::vector<int> ComNumbers(const std::vector<UsbSerialPort>& ports)
{
    std::vector<int> numbers;
    for (const UsbSerialPort& p : ports) {
        numbers.push_back(p.comNumber);
    }
    return numbers;
}

// Two instruments, a converter of another maker, an instrument-less CDC port without serial
// and product, the machine's own serial port and a virtual terminal.
void BuildBench(qmrtest::FakeSysfs& sysfs)
{
    sysfs.AddAcm("ttyACM0", "1-1", 0x2F5A, 0x3400, "QMR0001", "QMR3400 Channel");
    sysfs.AddAcm("ttyACM3", "1-4", 0x2F5A, 0x3401, "QMR0002", "QMR3400 Channel");
    sysfs.AddUsbSerial("ttyUSB1", "1-2", 0x0403, 0x6001, "FT9X8Y", "FT232R USB UART");
    sysfs.AddAcm("ttyACM5", "1-3", 0x1234, 0xABCD, "", "");
    sysfs.AddPlatformSerial("ttyS0");
    sysfs.AddVirtual("tty1");
}

void WriteDescriptor(int com, const std::string& text)
{
    qmrtest::WriteFile(fs::path("ports") / ("COM" + std::to_string(com) + ".usb"), text);
}

} // namespace

TEST(UsbSerialList, SysfsWalkFindsUsbParentsOnly)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::FakeSysfs sysfs(dir.Path() / "sys");
    BuildBench(sysfs);

    std::vector<UsbSerialPort> ports = ListUsbSerialDevicesSysfs(sysfs.Root().string());
    ASSERT_EQ(ports.size(), 4u);
    UsbSerialPort expected[] = {
        {1, 0x2F5A, 0x3400, "QMR0001", "QMR3400 Channel", "ttyACM0"},
        {4, 0x2F5A, 0x3401, "QMR0002", "QMR3400 Channel", "ttyACM3"},
        {6, 0x1234, 0xABCD, "", "", "ttyACM5"},
        {34, 0x0403, 0x6001, "FT9X8Y", "FT232R USB UART", "ttyUSB1"},
    };
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(Fields(ports[i]), Fields(expected[i])) << "entry " << i;
    }
}

TEST(UsbSerialList, SysfsWalkOfMissingOrEmptyTree)
{
    qmrtest::ScopedWorkDir dir;
    EXPECT_TRUE(ListUsbSerialDevicesSysfs((dir.Path() / "nothing").string()).empty());
    qmrtest::FakeSysfs sysfs(dir.Path() / "sys");
    sysfs.AddPlatformSerial("ttyS0");
    EXPECT_TRUE(ListUsbSerialDevicesSysfs(sysfs.Root().string()).empty());
}

TEST(UsbSerialList, SysfsWalkSkipsDevicesWithUnreadableIds)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::FakeSysfs sysfs(dir.Path() / "sys");
    sysfs.AddAcm("ttyACM0", "1-1", 0x2F5A, 0x3400, "QMR0001", "QMR3400 Channel");
    sysfs.AddAcm("ttyACM1", "1-2", 0x2F5A, 0x3400, "QMR0003", "QMR3400 Channel");
    qmrtest::WriteFile(sysfs.Root() / "devices/pci0000:00/0000:00:14.0/usb1/1-2/idVendor", "zz\n");
    EXPECT_EQ(ComNumbers(ListUsbSerialDevicesSysfs(sysfs.Root().string())), std::vector<int>{1});
}

TEST(UsbSerialList, UdevAgreesWithSysfsWalkOnThisMachine)
{
    bool ok = false;
    std::vector<UsbSerialPort> viaUdev = ListUsbSerialDevicesUdev(&ok);
    if (!ok) {
        GTEST_SKIP() << "libudev cannot enumerate here";
    }
    std::vector<UsbSerialPort> viaSysfs = ListUsbSerialDevicesSysfs("/sys");
    ASSERT_EQ(viaUdev.size(), viaSysfs.size());
    for (size_t i = 0; i < viaUdev.size(); ++i) {
        EXPECT_EQ(Fields(viaUdev[i]), Fields(viaSysfs[i]));
    }
}

struct DescriptorCase {
    const char* label;
    const char* text;
    bool ok;
    uint16_t vid;
    uint16_t pid;
    const char* serial;
    const char* name;
};

TEST(UsbSerialList, DescriptorTable)
{
    const DescriptorCase cases[] = {
        {"full", "vid=2f5a\npid=3400\nserial=SIM0001\nname=QMR3400 Channel\n", true, 0x2F5A, 0x3400, "SIM0001",
         "QMR3400 Channel"},
        {"crlf, upper case, 0x", "vid=0x2F5A\r\npid=3401\r\nserial=S 1\r\n", true, 0x2F5A, 0x3401, "S 1", ""},
        {"ids only, no final newline", "pid=1\nvid=ffff", true, 0xFFFF, 0x0001, "", ""},
        {"comments, blanks, other keys", "# sim\n\nvid=2f5a\nspeed=19200\npid=3400\n", true, 0x2F5A, 0x3400, "", ""},
        {"name keeps '='", "vid=1\npid=2\nname=a=b\n", true, 1, 2, "", "a=b"},
        {"pid missing", "vid=2f5a\nserial=X\n", false, 0, 0, "", ""},
        {"vid missing", "pid=3400\n", false, 0, 0, "", ""},
        {"vid not hex", "vid=2g5a\npid=3400\n", false, 0, 0, "", ""},
        {"pid too wide", "vid=2f5a\npid=13400\n", false, 0, 0, "", ""},
        {"empty id", "vid=\npid=3400\n", false, 0, 0, "", ""},
        {"signed id", "vid=-1\npid=3400\n", false, 0, 0, "", ""},
        {"line without '='", "vid=2f5a\npid=3400\ngarbage\n", false, 0, 0, "", ""},
        {"empty", "", false, 0, 0, "", ""},
    };
    for (const DescriptorCase& c : cases) {
        UsbSerialPort port;
        port.comNumber = 99;
        ASSERT_EQ(ParsePortDescriptor(c.text, port), c.ok) << c.label;
        EXPECT_EQ(port.comNumber, 99) << c.label;
        EXPECT_EQ(port.vendorId, c.vid) << c.label;
        EXPECT_EQ(port.productId, c.pid) << c.label;
        EXPECT_EQ(port.serial, c.serial) << c.label;
        EXPECT_EQ(port.product, c.name) << c.label;
    }
}

TEST(UsbSerialList, DescribedPortsNeedLinkAndWellFormedDescriptor)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair sim;
    qmrtest::PtyPair plain;
    qmrtest::PtyPair broken;
    sim.PublishAs(7);
    WriteDescriptor(7, "vid=2f5a\npid=3400\nserial=SIM0007\nname=QMR3400 Channel\n");
    plain.PublishAs(8); // no descriptor: a port, but no USB device
    broken.PublishAs(9);
    WriteDescriptor(9, "vid=2f5a\npid=\n");
    fs::create_symlink("/nonexistent/pts/99", "ports/COM10"); // its simulator has gone
    WriteDescriptor(10, "vid=2f5a\npid=3400\n");
    WriteDescriptor(11, "vid=2f5a\npid=3400\n"); // a descriptor without a port
    fs::create_symlink(sim.SlavePath(), "ports/COM07");
    WriteDescriptor(257, "vid=2f5a\npid=3400\n"); // past the last port number
    fs::create_symlink(sim.SlavePath(), "ports/COM257");
    qmrtest::PtyPair big;
    big.PublishAs(12);
    WriteDescriptor(12, "vid=2f5a\npid=3400\nname=" + std::string(5000, 'n') + "\n"); // no descriptor that size
    plain.PublishAs(2);
    WriteDescriptor(2, "vid=0403\npid=6001\nserial=FT1\n");

    std::vector<UsbSerialPort> ports = ListDescribedPorts("ports");
    ASSERT_EQ(ComNumbers(ports), (std::vector<int>{2, 7}));
    EXPECT_EQ(Fields(ports[1]), Fields(UsbSerialPort{7, 0x2F5A, 0x3400, "SIM0007", "QMR3400 Channel", "ports/COM7"}));
    EXPECT_TRUE(ListDescribedPorts("no-such-folder").empty());
}

TEST(UsbSerialList, MergedListOrderAndWhichEntryWins)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::FakeSysfs sysfs(dir.Path() / "sys");
    BuildBench(sysfs);
    fs::create_directories("dev");
    qmrtest::WriteFile("dev/ttyACM5", "");

    qmrtest::PtyPair sim;
    qmrtest::PtyPair other;
    sim.PublishAs(1); // the simulator's descriptor takes COM1 over from ttyACM0
    WriteDescriptor(1, "vid=2f5a\npid=3400\nserial=SIM0001\nname=Simulated QMR3400\n");
    other.PublishAs(4); // COM4 now opens this pty, so ttyACM3 is no longer COM4
    fs::create_symlink(fs::absolute("dev/ttyACM5"), "ports/COM6"); // a rule's link to the same node
    sim.PublishAs(40);
    WriteDescriptor(40, "vid=2f5a\npid=3401\nserial=SIM0040\n");

    UsbSerialListSource source;
    source.devices = UsbSerialListSource::Devices::Sysfs;
    source.sysfsRoot = sysfs.Root().string();
    source.devFolder = (dir.Path() / "dev").string();
    std::vector<UsbSerialPort> ports = ListUsbSerialPorts(source);
    ASSERT_EQ(ComNumbers(ports), (std::vector<int>{1, 6, 34, 40}));
    EXPECT_EQ(ports[0].serial, "SIM0001");
    EXPECT_EQ(ports[0].device, "ports/COM1");
    EXPECT_EQ(ports[1].device, "ttyACM5");

    source.devices = UsbSerialListSource::Devices::None;
    EXPECT_EQ(ComNumbers(ListUsbSerialPorts(source)), (std::vector<int>{1, 40}));

    fs::remove("ports/COM1");
    fs::remove("ports/COM4");
    source.devices = UsbSerialListSource::Devices::Sysfs;
    EXPECT_EQ(ComNumbers(ListUsbSerialPorts(source)), (std::vector<int>{1, 4, 6, 34, 40}));
}
