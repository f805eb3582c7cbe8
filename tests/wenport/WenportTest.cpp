// The five functions over a sysfs tree and a ports/ folder of the test's own.
#include "wenport/Wenport.h"

#include "FakeSysfs.h"
#include "TestSupport.h"
#include "common/QmrUsbIds.h"
#include "wenport/WenportSource.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qmr::kQmrUsbProductId;
using qmr::kQmrUsbProductIdAlt;
using qmr::kQmrUsbVendorId;
using qmr::platform::UsbSerialListSource;

namespace {

// A heap buffer of exactly the documented size, so that the sanitizer sees a write past it.
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size) : size_(size), bytes_(new char[size]) { std::memset(bytes_.get(), 'x', size); }
    char* Data() { return bytes_.get(); }
    std::string Text() const { return std::string(bytes_.get(), strnlen(bytes_.get(), size_)); }
    bool Terminated() const { return strnlen(bytes_.get(), size_) < size_; }

private:
    size_t size_;
    std::unique_ptr<char[]> bytes_;
};

struct Listed {
    int com;
    std::string name;
    std::string serial;
    std::string device;
};

// The port picker's walk: name and serial asked every time, the device name when both gave.
std::vector<Listed> PickerWalk(uint16_t vendorId, uint16_t productId)
{
    std::vector<Listed> listed;
    _SetVidPid(vendorId, productId);
    for (int i = 0; i < 256; ++i) {
        char name[20];
        char serial[20];
        char device[104];
        int com = _GetUsbComName(i, name);
        int gotSerial = _GetUsbComSerial(i, serial);
        if (com <= 0 || gotSerial <= 0) {
            break;
        }
        if (_GetUsbComDeviceName(vendorId, productId, serial, device) == 0) {
            break;
        }
        listed.push_back({com, name, serial, device});
    }
    return listed;
}

std::vector<int> ActiveWalk(std::vector<std::string>* names = nullptr)
{
    std::vector<int> numbers;
    for (int i = 0; i < 256; ++i) {
        char name[20];
        char second[20] = "untouched";
        int com = _GetActiveComName(i, name, second);
        EXPECT_STREQ(second, "untouched");
        if (com <= 0) {
            EXPECT_EQ(com, 0);
            break;
        }
        numbers.push_back(com);
        if (names != nullptr) {
            names->push_back(name);
        }
    }
    return numbers;
}

class Wenport : public ::testing::Test {
protected:
    void SetUp() override
    {
        sysfs_.AddAcm("ttyACM0", "1-1", kQmrUsbVendorId, kQmrUsbProductId, "QMR0001", "QMR3400 Channel");
        sysfs_.AddAcm("ttyACM2", "1-4", kQmrUsbVendorId, kQmrUsbProductId, "QMR0002", "");
        sysfs_.AddAcm("ttyACM3", "1-5", kQmrUsbVendorId, kQmrUsbProductIdAlt, "QMR0003", "QMR3400 Channel");
        sysfs_.AddUsbSerial("ttyUSB1", "1-2", 0x0403, 0x6001, "FT9X8Y", "FT232R USB UART");
        sysfs_.AddPlatformSerial("ttyS0");
        UsbSerialListSource source;
        source.devices = UsbSerialListSource::Devices::Sysfs;
        source.sysfsRoot = sysfs_.Root().string();
        qmr::wenport::SetListSource(source);
    }
    void TearDown() override { qmr::wenport::SetListSource({}); }

    void PublishInstrument(qmrtest::PtyPair& pty, int com, const std::string& serial, const std::string& name)
    {
        pty.PublishAs(com);
        qmrtest::WriteFile("ports/COM" + std::to_string(com) + ".usb",
                           "vid=2f5a\npid=3400\nserial=" + serial + "\nname=" + name + "\n");
    }

    qmrtest::ScopedWorkDir dir_;
    qmrtest::FakeSysfs sysfs_{dir_.Path() / "sys"};
};

} // namespace

TEST_F(Wenport, PickerWalkListsInstrumentsOfTheSelectedIds)
{
    qmrtest::PtyPair sim;
    PublishInstrument(sim, 7, "SIM0007", "Simulated QMR3400");
    qmrtest::PtyPair stray;
    stray.PublishAs(9); // no descriptor

    std::vector<Listed> listed = PickerWalk(kQmrUsbVendorId, kQmrUsbProductId);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].com, 1);
    EXPECT_EQ(listed[0].name, "COM1");
    EXPECT_EQ(listed[0].serial, "QMR0001");
    EXPECT_EQ(listed[0].device, "QMR3400 Channel (COM1)");
    EXPECT_EQ(listed[1].com, 3);
    EXPECT_EQ(listed[1].name, "COM3");
    EXPECT_EQ(listed[1].device, "USB Serial Device (COM3)");
    EXPECT_EQ(listed[2].com, 7);
    EXPECT_EQ(listed[2].serial, "SIM0007");
    EXPECT_EQ(listed[2].device, "Simulated QMR3400 (COM7)");

    std::vector<Listed> alt = PickerWalk(kQmrUsbVendorId, kQmrUsbProductIdAlt);
    ASSERT_EQ(alt.size(), 1u);
    EXPECT_EQ(alt[0].com, 4);
    EXPECT_EQ(alt[0].serial, "QMR0003");

    std::vector<Listed> other = PickerWalk(0x0403, 0x6001);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].com, 34);
    EXPECT_EQ(other[0].device, "FT232R USB UART (COM34)");

    EXPECT_TRUE(PickerWalk(0x2F5A, 0x9999).empty());
}

TEST_F(Wenport, IndexWalkEndsNegativeAndOutOfRangeIndicesFail)
{
    char name[20] = "before";
    char serial[20] = "before";
    _SetVidPid(kQmrUsbVendorId, kQmrUsbProductId);
    EXPECT_EQ(_GetUsbComName(0, name), 1);
    EXPECT_EQ(_GetUsbComName(1, name), 3);
    EXPECT_STREQ(name, "COM3");
    EXPECT_LT(_GetUsbComName(2, name), 0);
    EXPECT_LT(_GetUsbComName(-1, name), 0);
    EXPECT_LT(_GetUsbComName(1000000, name), 0);
    EXPECT_STREQ(name, "COM3"); // a failed call leaves the buffer alone
    EXPECT_GT(_GetUsbComSerial(1, serial), 0);
    EXPECT_STREQ(serial, "QMR0002");
    EXPECT_LE(_GetUsbComSerial(2, serial), 0);
    EXPECT_LE(_GetUsbComSerial(-5, serial), 0);
    EXPECT_STREQ(serial, "QMR0002");
    EXPECT_EQ(_GetUsbComName(0, nullptr), 1); // the number alone
    EXPECT_LE(_GetUsbComSerial(0, nullptr), 0);
}

TEST_F(Wenport, DeviceNameFindsTheSerialAmongTheGivenIds)
{
    char device[104] = "before";
    EXPECT_NE(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductIdAlt, "QMR0003", device), 0);
    EXPECT_STREQ(device, "QMR3400 Channel (COM4)");
    // The ids are the call's own, not the selection's.
    _SetVidPid(0x0403, 0x6001);
    EXPECT_NE(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, "QMR0001", device), 0);
    EXPECT_STREQ(device, "QMR3400 Channel (COM1)");
    std::strcpy(device, "before");
    EXPECT_EQ(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, "QMR0003", device), 0); // other pid
    EXPECT_EQ(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, "NOPE", device), 0);
    EXPECT_EQ(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, "", device), 0);
    EXPECT_EQ(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, nullptr, device), 0);
    EXPECT_EQ(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, "QMR0001", nullptr), 0);
    EXPECT_STREQ(device, "before");
}

TEST_F(Wenport, ActivePortsAreEveryUsbSerialPortInComOrder)
{
    qmrtest::PtyPair sim;
    PublishInstrument(sim, 12, "SIM0012", "Simulated QMR3400");
    std::vector<std::string> names;
    EXPECT_EQ(ActiveWalk(&names), (std::vector<int>{1, 3, 4, 12, 34}));
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM3", "COM4", "COM12", "COM34"}));
    char name[20];
    char second[20];
    EXPECT_EQ(_GetActiveComName(-1, name, second), 0);
    EXPECT_EQ(_GetActiveComName(2, nullptr, nullptr), 4);

    // The list is taken afresh on every call: an unplugged port is gone at once.
    fs::remove("ports/COM12");
    EXPECT_EQ(ActiveWalk(), (std::vector<int>{1, 3, 4, 34}));
}

TEST_F(Wenport, LongTextsAreCutToTheBuffersAndTerminated)
{
    const std::string longSerial = "SERIAL-0123456789-ABCDEFGHIJ"; // 28 characters
    std::string longName;
    for (int i = 0; i < 30; ++i) {
        longName += "Chännel "; // 9 bytes each, 2 of them one character
    }
    qmrtest::PtyPair sim;
    PublishInstrument(sim, 200, longSerial, longName);
    _SetVidPid(kQmrUsbVendorId, kQmrUsbProductId);

    ExactBuffer name(20);
    EXPECT_EQ(_GetUsbComName(2, name.Data()), 200);
    EXPECT_EQ(name.Text(), "COM200");

    ExactBuffer serial(20);
    EXPECT_GT(_GetUsbComSerial(2, serial.Data()), 0);
    ASSERT_TRUE(serial.Terminated());
    EXPECT_EQ(serial.Text(), longSerial.substr(0, 19));

    // The picker passes the serial as it got it, cut; the full one is found as well.
    for (const std::string& given : {serial.Text(), longSerial}) {
        ExactBuffer device(104);
        EXPECT_NE(_GetUsbComDeviceName(kQmrUsbVendorId, kQmrUsbProductId, given.c_str(), device.Data()), 0);
        ASSERT_TRUE(device.Terminated());
        std::string text = device.Text();
        EXPECT_LE(text.size(), 103u);
        EXPECT_GE(text.size(), 103u - 3u); // at most one character's bytes given up
        const std::string suffix = " (COM200)";
        ASSERT_GE(text.size(), suffix.size());
        EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
        std::string product = text.substr(0, text.size() - suffix.size());
        EXPECT_EQ(product, longName.substr(0, product.size()));
        EXPECT_NE(static_cast<unsigned char>(product.back()), 0xC3); // not split inside "ä"
    }

    ExactBuffer active(20);
    char second[20];
    EXPECT_EQ(_GetActiveComName(4, active.Data(), second), 200);
    EXPECT_EQ(active.Text(), "COM200");
}
