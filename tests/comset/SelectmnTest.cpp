// The USB port picker: over a listing of our own (every answer Wenport may give) and over
// Wenport itself with pseudo-terminals published as ports/COMn with USB descriptors. The list
// window is answered from a timer that finds the active modal widget.
#include "app/link/Selectmn.h"
#include "app/core/Formmn.h"
#include "common/QmrUsbIds.h"

#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// One port as the listing reports it; a result of 0 or less is a failure.
struct FakePort {
    int nameResult;
    std::string name;
    int serialResult;
    std::string serial;
    int deviceResult;
    std::string deviceName;
};

struct FakeListing {
    std::vector<FakePort> ports;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::vector<int> nameAsked, serialAsked;
    std::vector<std::string> deviceAsked;
};

FakeListing fake;

const FakePort* PortAt(int index)
{
    return index >= 0 && static_cast<size_t>(index) < fake.ports.size() ? &fake.ports[static_cast<size_t>(index)]
                                                                        : nullptr;
}

const KUsbComListing kFakeListing = {
    [](uint16_t vendorId, uint16_t productId) {
        fake.vendorId = vendorId;
        fake.productId = productId;
        return 1;
    },
    [](int index, char* name) {
        fake.nameAsked.push_back(index);
        const FakePort* port = PortAt(index);
        if (port == nullptr) {
            return -1;
        }
        std::strncpy(name, port->name.c_str(), 19);
        return port->nameResult;
    },
    [](int index, char* serial) {
        fake.serialAsked.push_back(index);
        const FakePort* port = PortAt(index);
        if (port == nullptr) {
            return -1;
        }
        std::strncpy(serial, port->serial.c_str(), 19);
        return port->serialResult;
    },
    [](uint16_t vendorId, uint16_t productId, const char* serial, char* name) {
        EXPECT_EQ(vendorId, fake.vendorId);
        EXPECT_EQ(productId, fake.productId);
        fake.deviceAsked.emplace_back(serial);
        for (const FakePort& port : fake.ports) {
            if (port.serial == serial) {
                std::strncpy(name, port.deviceName.c_str(), 103);
                return port.deviceResult;
            }
        }
        return 0;
    },
};

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeListing{}; }
    qmrtest::ScopedWorkDir dir_;
};

struct ListCase {
    const char* name;
    std::vector<FakePort> ports;
    QStringList entries;
    QStringList numbers;
};

void PrintTo(const ListCase& c, std::ostream* os)
{
    *os << c.name;
}

class PickerList : public ::testing::TestWithParam<ListCase> {
protected:
    void SetUp() override { fake = FakeListing{}; }
};

const std::string kLongName(120, 'N');

const ListCase kListCases[] = {
    {"DeviceNameWithComPart",
     {{7, "COM7", 1, "A1B2", 7, "USB Serial Device (COM7)"}},
     {"USB Serial Device (A1B2)"},
     {"7"}},
    {"DeviceNameWithoutComPart", {{12, "COM12", 1, "S-9", 12, "Bench port"}}, {"Bench port(S-9)"}, {"12"}},
    {"CutBeforeTheFirstComPart", {{3, "COM3", 1, "X", 3, "Dev (COM3) (COM4)"}}, {"Dev (X)"}, {"3"}},
    {"SeveralPortsInListingOrder",
     {{7, "COM7", 1, "A1B2", 7, "USB Serial Device (COM7)"}, {21, "COM21", 1, "C3", 21, "QMR3400 (COM21)"}},
     {"USB Serial Device (A1B2)", "QMR3400 (C3)"},
     {"7", "21"}},
    {"NameButNoSerialAtIndexZero",
     {{7, "COM7", 0, "", 7, "USB Serial Device (COM7)"}, {8, "COM8", 1, "B", 8, "Other (COM8)"}},
     {},
     {}},
    {"NoNameAtIndexZero", {{-1, "", 1, "A", 7, "Dev (COM7)"}}, {}, {}},
    {"DeviceNameFailsAtIndexOne",
     {{7, "COM7", 1, "A", 7, "Dev (COM7)"}, {8, "COM8", 1, "B", 0, "Gone (COM8)"}, {9, "COM9", 1, "C", 9, "C"}},
     {"Dev (A)"},
     {"7"}},
    {"LongEntryIsCutToOneHundredCharacters",
     {{5, "COM5", 1, "Z", 5, kLongName}},
     {QString::fromStdString(kLongName.substr(0, 100))},
     {"5"}},
    {"NumberTextIsCutToNineCharacters", {{5, "COM12345678901", 1, "Z", 5, "Dev"}}, {"Dev(Z)"}, {"123456789"}},
};

TEST_P(PickerList, MakeListBuildsEntriesAndNumbers)
{
    fake.ports = GetParam().ports;
    KSelectMenuCom picker(kFakeListing);
    QStringList entries = {"stale"};
    QStringList numbers = {"stale"};
    picker.MakeList(entries, numbers);
    EXPECT_EQ(entries, GetParam().entries);
    EXPECT_EQ(numbers, GetParam().numbers);
    // Name and serial are both asked at every index, up to the one that failed.
    EXPECT_EQ(fake.nameAsked, fake.serialAsked);
}

INSTANTIATE_TEST_SUITE_P(Listings, PickerList, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PickerTest, BothAreAskedAlsoWhenTheNameFails)
{
    fake.ports = {{-1, "", 1, "A", 7, "Dev"}};
    KSelectMenuCom picker(kFakeListing);
    QStringList entries, numbers;
    picker.MakeList(entries, numbers);
    EXPECT_EQ(fake.nameAsked, std::vector<int>{0});
    EXPECT_EQ(fake.serialAsked, std::vector<int>{0});
    EXPECT_TRUE(fake.deviceAsked.empty());
}

// Runs `action` (which shows the list window) and answers the window with `answer`.
void WithMenuAnswered(const std::function<void(TFormMenu&)>& answer, const std::function<void()>& action)
{
    bool answered = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<TFormMenu*>(QApplication::activeModalWidget()); }, 5000));
        answered = true;
        answer(*qobject_cast<TFormMenu*>(QApplication::activeModalWidget()));
    });
    action();
    EXPECT_TRUE(answered);
}

QTableWidget* Grid(TFormMenu& menu)
{
    return menu.findChild<QTableWidget*>("StringGridMenu");
}

void ClickOk(TFormMenu& menu)
{
    QTest::mouseClick(menu.findChild<QPushButton*>("ButtonOK"), Qt::LeftButton);
}

void ClickCancel(TFormMenu& menu)
{
    QTest::mouseClick(menu.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
}

const std::vector<FakePort> kThreePorts = {{3, "COM3", 1, "S3", 3, "Dev (COM3)"},
                                           {7, "COM7", 1, "S7", 7, "Dev (COM7)"},
                                           {12, "COM12", 1, "S12", 12, "Dev (COM12)"}};

TEST_F(PickerTest, RunShowsTheListWithItsTextsAndGivesTheChosenNumber)
{
    fake.ports = kThreePorts;
    KSelectMenuCom picker(kFakeListing);
    int port = 7;
    bool chosen = false;
    WithMenuAnswered(
        [](TFormMenu& menu) {
            EXPECT_EQ(menu.windowTitle(), "Select COM port");
            QTableWidget* grid = Grid(menu);
            EXPECT_EQ(grid->item(0, 0)->text(), "Port No");
            EXPECT_EQ(grid->item(0, 1)->text(), "Port Info");
            EXPECT_EQ(menu.findChild<QLabel*>("LabelGuide")->text(), "Please select Com port.");
            ASSERT_EQ(grid->rowCount(), 4);
            EXPECT_EQ(grid->item(2, 1)->text(), "Dev (S7)");
            // The current port is preselected; the operator takes the third row.
            EXPECT_EQ(menu.GetSelectedIndex(), 1);
            grid->setCurrentCell(3, 0);
            ClickOk(menu);
        },
        [&] { chosen = picker.Run(port, qmr::kQmrUsbVendorId, qmr::kQmrUsbProductIdAlt); });
    EXPECT_TRUE(chosen);
    EXPECT_EQ(port, 12);
    EXPECT_EQ(fake.vendorId, qmr::kQmrUsbVendorId);
    EXPECT_EQ(fake.productId, qmr::kQmrUsbProductIdAlt);
    EXPECT_EQ(picker.GetVendorId(), qmr::kQmrUsbVendorId);
    EXPECT_EQ(picker.GetProductId(), qmr::kQmrUsbProductIdAlt);
}

TEST_F(PickerTest, CancelGivesMinusOne)
{
    fake.ports = kThreePorts;
    KSelectMenuCom picker(kFakeListing);
    int port = 7;
    bool chosen = true;
    WithMenuAnswered(
        [](TFormMenu& menu) {
            Grid(menu)->setCurrentCell(3, 0);
            ClickCancel(menu);
        },
        [&] { chosen = picker.Run(port, qmr::kQmrUsbVendorId, qmr::kQmrUsbProductId); });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(port, -1);
}

TEST_F(PickerTest, OkWithoutPortRowGivesMinusOne)
{
    fake.ports = {};
    KSelectMenuCom picker(kFakeListing);
    int port = 1;
    bool chosen = true;
    WithMenuAnswered(
        [](TFormMenu& menu) {
            EXPECT_EQ(Grid(menu)->rowCount(), 1);
            ClickOk(menu);
        },
        [&] { chosen = picker.Run(port, qmr::kQmrUsbVendorId, qmr::kQmrUsbProductId); });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(port, -1);

    // Ports listed, but the title row current.
    fake.ports = kThreePorts;
    WithMenuAnswered(
        [](TFormMenu& menu) {
            Grid(menu)->setCurrentCell(0, 0);
            ClickOk(menu);
        },
        [&] { port = picker.ShowMenu(7); });
    EXPECT_EQ(port, -1);
}

TEST_F(PickerTest, HandAddedEntriesAreIgnored)
{
    KSelectMenuCom picker(kFakeListing);
    picker.AddItem("9", "By hand");
    QStringList entries, numbers;
    picker.MakeList(entries, numbers);
    EXPECT_TRUE(entries.isEmpty());
}

// A pseudo-terminal published as ports/COMn with a USB descriptor, as Wenport lists it.
void PublishUsbPort(qmrtest::PtyPair& pty, int com, uint16_t productId, const std::string& serial,
                    const std::string& name)
{
    pty.PublishAs(com);
    char ids[64];
    std::snprintf(ids, sizeof ids, "vid=%04x\npid=%04x\n", qmr::kQmrUsbVendorId, productId);
    qmrtest::WriteFile("ports/COM" + std::to_string(com) + ".usb",
                       std::string(ids) + "serial=" + serial + "\nname=" + name + "\n");
}

TEST_F(PickerTest, ListsTheInstrumentsPortsThroughWenport)
{
    qmrtest::PtyPair first;
    qmrtest::PtyPair second;
    qmrtest::PtyPair other;
    PublishUsbPort(first, 7, qmr::kQmrUsbProductId, "A1B2", "USB Serial Device");
    PublishUsbPort(second, 9, qmr::kQmrUsbProductId, "C3D4", "QMR3400");
    PublishUsbPort(other, 11, qmr::kQmrUsbProductIdAlt, "E5", "QMR3400 alt");

    KSelectMenuCom picker;
    int port = 9;
    bool chosen = false;
    QStringList shown;
    WithMenuAnswered(
        [&](TFormMenu& menu) {
            QTableWidget* grid = Grid(menu);
            for (int row = 1; row < grid->rowCount(); ++row) {
                shown << grid->item(row, 0)->text() + " " + grid->item(row, 1)->text();
            }
            EXPECT_EQ(menu.GetSelectedIndex(), 1);
            grid->setCurrentCell(1, 0);
            ClickOk(menu);
        },
        [&] { chosen = picker.Run(port, qmr::kQmrUsbVendorId, qmr::kQmrUsbProductId); });
    EXPECT_EQ(shown, QStringList({"7 USB Serial Device (A1B2)", "9 QMR3400 (C3D4)"}));
    EXPECT_TRUE(chosen);
    EXPECT_EQ(port, 7);
}

} // namespace
