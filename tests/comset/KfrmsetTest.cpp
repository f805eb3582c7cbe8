// The communication settings window as a real modal dialog: opened by ShowComSetDialog on a
// block, inspected and operated from a timer that finds the active modal widget, then closed
// with OK, Cancel or the close box.
#include "app/link/Kfrmset.h"
#include "app/core/Formmesg.h"
#include "app/core/Formmn.h"
#include "app/core/Kmodule.h"
#include "common/QmrUsbIds.h"

#include "TestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>

namespace {

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);

ComSettings Block(int32_t interface, int32_t comPort, const char* ip, const char* ip2, const char* alt,
                  const char* terminator)
{
    ComSettings s;
    std::memset(&s, 0, sizeof s);
    s.Interface = interface;
    s.ComPort = comPort;
    std::memcpy(s.IpAddress, ip, strnlen(ip, sizeof s.IpAddress));
    s.TcpPort = 10001;
    std::memcpy(s.Terminator, terminator, std::strlen(terminator));
    std::memcpy(s.IpAddress2, ip2, strnlen(ip2, sizeof s.IpAddress2));
    std::memcpy(s.IpAddressAlt, alt, strnlen(alt, sizeof s.IpAddressAlt));
    s.Spare = 0x5A;
    return s;
}

template <typename T>
T* Child(QWidget& form, const char* name)
{
    T* child = form.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Waits for a modal widget of type T and hands it to `answer` (from the event loop).
template <typename T>
void AnswerNext(std::function<void(T&)> answer, bool* answered = nullptr)
{
    QTimer::singleShot(0, [answer, answered] {
        ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<T*>(QApplication::activeModalWidget()); }, 5000));
        if (answered != nullptr) {
            *answered = true;
        }
        answer(*qobject_cast<T*>(QApplication::activeModalWidget()));
    });
}

// Shows the window on `block`, runs `operate` on it and returns ShowComSetDialog's result.
bool RunDialog(ComSettings& block, const std::function<void(TFormComSet&)>& operate)
{
    bool answered = false;
    AnswerNext<TFormComSet>(operate, &answered);
    const bool result = ShowComSetDialog(&block);
    EXPECT_TRUE(answered);
    return result;
}

void ClickOk(TFormComSet& form)
{
    QTest::mouseClick(Child<QPushButton>(form, "ButtonOK"), Qt::LeftButton);
}

void ClickCancel(TFormComSet& form)
{
    QTest::mouseClick(Child<QPushButton>(form, "ButtonCancel"), Qt::LeftButton);
}

QString Text(TFormComSet& form, const char* edit)
{
    return Child<QLineEdit>(form, edit)->text();
}

bool Shown(TFormComSet& form, const char* name)
{
    return !Child<QWidget>(form, name)->isHidden();
}

// The look of one interface choice.
void ExpectLook(TFormComSet& form, bool usb)
{
    auto* on = Child<QFrame>(form, usb ? "Panel232" : "PanelTcp");
    auto* off = Child<QFrame>(form, usb ? "PanelTcp" : "Panel232");
    EXPECT_EQ(on->palette().color(QPalette::Window), kSkyBlue);
    EXPECT_EQ(on->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(off->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(off->frameShadow(), QFrame::Raised);
    EXPECT_EQ(Child<QRadioButton>(form, "RadioButtonRs232c")->isChecked(), usb);
    EXPECT_EQ(Child<QRadioButton>(form, "RadioButtonTcpip")->isChecked(), !usb);
    EXPECT_EQ(Child<QTabWidget>(form, "PageControl1")->currentWidget(),
              Child<QWidget>(form, usb ? "TabSheetRs232c" : "TabSheetLan"));
    EXPECT_EQ(form.focusWidget(), Child<QWidget>(form, usb ? "RadioButtonRs232c" : "RadioButtonTcpip"));
}

class ComSetTest : public ::testing::Test {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_F(ComSetTest, LanBlockOpensOnTheLanPageWithTheAddressNormalised)
{
    ComSettings block = Block(1, 3, "192.168.000.088", "0.0.5.0", "", "\n");
    const ComSettings before = block;
    const bool ok = RunDialog(block, [](TFormComSet& form) {
        EXPECT_EQ(form.windowTitle(), "Com Settings");
        EXPECT_EQ(Child<QLabel>(form, "LabelCaption")->text(), "Com Settings");
        EXPECT_EQ(form.size(), QSize(442, 509));
        EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0xA0, 0xA0, 0xA4));
        ExpectLook(form, false);
        EXPECT_EQ(Text(form, "EditTcpIp"), "192.168.0.88");
        EXPECT_FALSE(Shown(form, "LabelDhcp"));
        EXPECT_EQ(Text(form, "EditComPort"), "3");
        EXPECT_EQ(Text(form, "EditTcpPort"), "10001");
        EXPECT_TRUE(Child<QRadioButton>(form, "RadioButtonLf")->isChecked());
        // Carried, never shown.
        EXPECT_FALSE(Shown(form, "EditTcpPort"));
        EXPECT_FALSE(Shown(form, "RadioGroupCr"));
        EXPECT_FALSE(Shown(form, "LabelWait"));
        for (const char* hidden : {"LabelTcpPort", "Label5", "Label9", "Label6"}) {
            EXPECT_FALSE(Shown(form, hidden)) << hidden;
        }
        ClickOk(form);
    });
    EXPECT_TRUE(ok);
    // OK stores the address as shown; everything else is as it was.
    EXPECT_STREQ(block.IpAddress, "192.168.0.88");
    ComSettings expected = before;
    std::memset(expected.IpAddress, 0, sizeof expected.IpAddress);
    std::strcpy(expected.IpAddress, "192.168.0.88");
    EXPECT_EQ(std::memcmp(&block, &expected, sizeof block), 0);
}

struct AddressCase {
    const char* name;
    const char* ip2;
    const char* alt;
    const char* shown;
    bool dhcp;
};

void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << c.name;
}

class ComSetAddress : public ::testing::TestWithParam<AddressCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

const AddressCase kAddressCases[] = {
    {"AlternativeShownWithItsLabel", "0.0.5.0", "10.0.0.5", "10.0.0.5", true},
    {"SecondAddressWithLeadingZeros", "00.0.05.0", "10.000.0.5", "10.0.0.5", true},
    {"OtherSecondAddress", "0.0.6.0", "10.0.0.5", "192.168.0.88", false},
    {"EmptySecondAddress", "", "10.0.0.5", "192.168.0.88", false},
    {"AllOnesAlternativeNeverShown", "0.0.5.0", "255.255.255.255", "192.168.0.88", false},
    {"EmptyAlternative", "0.0.5.0", "", "192.168.0.88", false},
};

TEST_P(ComSetAddress, ShowsAndStoresTheAddressOnShow)
{
    ComSettings block = Block(1, 1, "192.168.000.088", GetParam().ip2, GetParam().alt, "\n");
    const ComSettings before = block;
    const bool ok = RunDialog(block, [](TFormComSet& form) {
        EXPECT_EQ(Text(form, "EditTcpIp"), GetParam().shown);
        EXPECT_EQ(Shown(form, "LabelDhcp"), GetParam().dhcp);
        EXPECT_EQ(Child<QLabel>(form, "LabelDhcp")->palette().color(QPalette::WindowText), QColor(Qt::blue));
        ClickOk(form);
    });
    EXPECT_TRUE(ok);
    EXPECT_STREQ(block.IpAddress, GetParam().shown);
    // The two read-only address texts and the spare byte are carried unchanged.
    EXPECT_EQ(std::memcmp(block.IpAddress2, before.IpAddress2, sizeof block.IpAddress2), 0);
    EXPECT_EQ(std::memcmp(block.IpAddressAlt, before.IpAddressAlt, sizeof block.IpAddressAlt), 0);
    EXPECT_EQ(block.Spare, before.Spare);
}

INSTANTIATE_TEST_SUITE_P(Addresses, ComSetAddress, ::testing::ValuesIn(kAddressCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TerminatorCase {
    const char* name;
    std::string stored; // the 3 bytes of the field
    const char* checked;
    std::string saved;
};

void PrintTo(const TerminatorCase& c, std::ostream* os)
{
    *os << c.name;
}

class ComSetTerminator : public ::testing::TestWithParam<TerminatorCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

const TerminatorCase kTerminatorCases[] = {
    {"Lf", std::string("\n\0\0", 3), "RadioButtonLf", std::string("\n\0\0", 3)},
    {"CrLf", std::string("\r\n\0", 3), "RadioButtonCrLf", std::string("\r\n\0", 3)},
    {"Cr", std::string("\r\0\0", 3), "RadioButtonCr", std::string("\r\0\0", 3)},
    {"Empty", std::string("\0\0\0", 3), "RadioButtonCr", std::string("\r\0\0", 3)},
    {"Other", std::string("xy\0", 3), "RadioButtonCr", std::string("\r\0\0", 3)},
    // No zero byte in the field: read within it, never past it.
    {"FieldWithoutZero", std::string("\r\n\n", 3), "RadioButtonCr", std::string("\r\0\0", 3)},
};

TEST_P(ComSetTerminator, TerminatorComesBackAsItsItem)
{
    ComSettings block = Block(0, 1, "192.168.0.88", "", "", "");
    std::memcpy(block.Terminator, GetParam().stored.data(), 3);
    const bool ok = RunDialog(block, [](TFormComSet& form) {
        EXPECT_TRUE(Child<QRadioButton>(form, GetParam().checked)->isChecked());
        ClickOk(form);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(block.Terminator, 3), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Terminators, ComSetTerminator, ::testing::ValuesIn(kTerminatorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComSetTest, UsbBlockAndTheTwoLooks)
{
    ComSettings block = Block(0, 5, "192.168.0.88", "", "", "\n");
    const bool ok = RunDialog(block, [](TFormComSet& form) {
        ExpectLook(form, true);
        EXPECT_EQ(Text(form, "EditComPort"), "5");
        QTest::mouseClick(Child<QWidget>(form, "PanelTcp"), Qt::LeftButton, {}, QPoint(2, 2));
        ExpectLook(form, false);
        QTest::mouseClick(Child<QWidget>(form, "RadioButtonRs232c"), Qt::LeftButton);
        ExpectLook(form, true);
        QTest::mouseClick(Child<QWidget>(form, "RadioButtonTcpip"), Qt::LeftButton);
        ExpectLook(form, false);
        QTest::mouseClick(Child<QWidget>(form, "Panel232"), Qt::LeftButton, {}, QPoint(2, 2));
        ExpectLook(form, true);
        QTest::mouseClick(Child<QWidget>(form, "PanelTcp"), Qt::LeftButton, {}, QPoint(2, 2));
        ClickOk(form);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(block.Interface, kInterfaceLan);
}

TEST_F(ComSetTest, AnyOtherInterfaceValueOpensAsLanAndIsStoredAsOne)
{
    ComSettings block = Block(7, 1, "10.0.0.1", "", "", "\n");
    EXPECT_TRUE(RunDialog(block, [](TFormComSet& form) {
        ExpectLook(form, false);
        ClickOk(form);
    }));
    EXPECT_EQ(block.Interface, kInterfaceLan);
}

TEST_F(ComSetTest, SaveRulesForNumbersAndLongAddresses)
{
    ComSettings block = Block(1, 4, "10.0.0.1", "", "", "\n");
    EXPECT_TRUE(RunDialog(block, [](TFormComSet& form) {
        Child<QLineEdit>(form, "EditComPort")->setText("abc");
        Child<QLineEdit>(form, "EditTcpPort")->setText("port");
        Child<QLineEdit>(form, "EditTcpIp")->setText("192.168.001.0020000");
        QTest::keyClick(&form, Qt::Key_Return);
    }));
    EXPECT_EQ(block.ComPort, 1);
    EXPECT_EQ(block.TcpPort, 10001);
    // The first 15 characters, normalised.
    EXPECT_STREQ(block.IpAddress, "192.168.1.2");

    EXPECT_TRUE(RunDialog(block, [](TFormComSet& form) {
        Child<QLineEdit>(form, "EditComPort")->setText("12");
        Child<QLineEdit>(form, "EditTcpPort")->setText("5025");
        Child<QLineEdit>(form, "EditTcpIp")->setText("1.2");
        ClickOk(form);
    }));
    EXPECT_EQ(block.ComPort, 12);
    EXPECT_EQ(block.TcpPort, 5025);
    EXPECT_STREQ(block.IpAddress, "1.2.");
}

// OK stores a typed COM number only when a port can have it; any other integer brings a
// warning and the window stays open.
TEST_F(ComSetTest, OkRefusesComNumbersNoPortCanHave)
{
    for (const char* text : {"256", "0", "257", "-1", "-2147483648", "99999999999999999999"}) {
        SCOPED_TRACE(text);
        const bool refused = std::strcmp(text, "256") != 0;
        ComSettings block = Block(0, 4, "", "", "", "\n");
        QString shown;
        const bool saved = RunDialog(block, [&](TFormComSet& form) {
            Child<QLineEdit>(form, "EditComPort")->setText(text);
            if (refused) {
                AnswerNext<TFormMsg>([&](TFormMsg& msg) {
                    shown = msg.findChild<QLabel*>("PanelUp")->text() + "|" + msg.findChild<QLabel*>("PanelDn")->text();
                    msg.ButtonOkClick();
                });
            }
            ClickOk(form);
            EXPECT_EQ(form.isVisible(), refused);
            if (refused) {
                ClickCancel(form);
            }
        });
        EXPECT_EQ(saved, !refused);
        EXPECT_EQ(block.ComPort, refused ? 4 : 256);
        EXPECT_EQ(shown, refused ? QString("Please enter a COM port number from 1 to 256.|") + text : QString());
    }
}

// Fields without a zero byte, as a damaged file can leave them.
ComSettings UnterminatedBlock()
{
    ComSettings block = Block(1, 2, "", "", "", "\r\n");
    std::memcpy(block.IpAddress, "1234567890123456", 16);
    std::memcpy(block.IpAddress2, "0.0.5.0.0.0.0.0.", 16);
    std::memcpy(block.IpAddressAlt, "255.255.255.2555", 16);
    return block;
}

class ComSetCancel : public ::testing::TestWithParam<int> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_P(ComSetCancel, LeavesTheBlockByteForByte)
{
    ComSettings block = UnterminatedBlock();
    const ComSettings before = block;
    const int way = GetParam();
    const bool ok = RunDialog(block, [way](TFormComSet& form) {
        Child<QLineEdit>(form, "EditComPort")->setText("9");
        Child<QLineEdit>(form, "EditTcpIp")->setText("10.1.1.1");
        QTest::mouseClick(Child<QWidget>(form, "RadioButtonRs232c"), Qt::LeftButton);
        switch (way) {
        case 0:
            ClickCancel(form);
            break;
        case 1:
            QTest::keyClick(&form, Qt::Key_Escape);
            break;
        default:
            form.close();
            break;
        }
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::memcmp(&block, &before, sizeof block), 0);
}

std::string CancelWayName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const names[] = {"CancelButton", "Escape", "CloseBox"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Ways, ComSetCancel, ::testing::Values(0, 1, 2), CancelWayName);

TEST_F(ComSetTest, CancelAfterCheckAndReferLeavesTheBlock)
{
    qmrtest::WriteFile("chkip.bat", "echo 'time<1ms TTL=64' > chkip.res\n");
    ComSettings block = Block(1, 2, "010.000.000.001", "", "", "\n");
    const ComSettings before = block;
    EXPECT_FALSE(RunDialog(block, [](TFormComSet& form) {
        AnswerNext<TFormMsg>([](TFormMsg& msg) { msg.ButtonOkClick(); });
        QTest::mouseClick(Child<QPushButton>(form, "ButtonCheck"), Qt::LeftButton);
        AnswerNext<TFormMenu>([](TFormMenu& menu) { menu.ButtonCancelClick(); });
        QTest::mouseClick(Child<QPushButton>(form, "ButtonSelectCom"), Qt::LeftButton);
        ClickCancel(form);
    }));
    EXPECT_EQ(std::memcmp(&block, &before, sizeof block), 0);
}

TEST_F(ComSetTest, ReferCancelledLeavesTheComPort)
{
    ComSettings block = Block(0, 4, "192.168.0.88", "", "", "\n");
    EXPECT_TRUE(RunDialog(block, [](TFormComSet& form) {
        Child<QLineEdit>(form, "EditComPort")->setText("6");
        bool menuShown = false;
        AnswerNext<TFormMenu>(
            [](TFormMenu& menu) {
                EXPECT_EQ(menu.windowTitle(), "Select COM port");
                QTest::keyClick(&menu, Qt::Key_Escape);
            },
            &menuShown);
        QTest::mouseClick(Child<QPushButton>(form, "ButtonSelectCom"), Qt::LeftButton);
        EXPECT_TRUE(menuShown);
        EXPECT_EQ(Text(form, "EditComPort"), "6");
        ClickOk(form);
    }));
    EXPECT_EQ(block.ComPort, 6);
}

// Two instrument ports, one per product id; "/V1" after the program's path picks the second.
TEST_F(ComSetTest, ReferListsThePortsOfTheChosenProductAndTakesTheChoice)
{
    qmrtest::PtyPair first;
    qmrtest::PtyPair second;
    for (auto [pty, com, pid, serial] : {std::tuple{&first, 7, qmr::kQmrUsbProductId, "A1B2"},
                                         std::tuple{&second, 8, qmr::kQmrUsbProductIdAlt, "V1P"}}) {
        pty->PublishAs(com);
        char ids[64];
        std::snprintf(ids, sizeof ids, "vid=%04x\npid=%04x\n", qmr::kQmrUsbVendorId, pid);
        qmrtest::WriteFile("ports/COM" + std::to_string(com) + ".usb",
                           std::string(ids) + "serial=" + serial + "\nname=USB Serial Device\n");
    }
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool alternative = arguments.filter("/V1", Qt::CaseSensitive).size() > 0;
    // The run with the switch says so, so that it cannot pass by missing it.
    EXPECT_EQ(alternative, std::getenv("QMR_EXPECT_V1") != nullptr);
    const QString expectedEntry = alternative ? "USB Serial Device (V1P)" : "USB Serial Device (A1B2)";
    const int expectedPort = alternative ? 8 : 7;

    ComSettings block = Block(0, 1, "192.168.0.88", "", "", "\n");
    EXPECT_TRUE(RunDialog(block, [&](TFormComSet& form) {
        AnswerNext<TFormMenu>([&](TFormMenu& menu) {
            auto* grid = menu.findChild<QTableWidget*>("StringGridMenu");
            ASSERT_EQ(grid->rowCount(), 2);
            EXPECT_EQ(grid->item(1, 1)->text(), expectedEntry);
            grid->setCurrentCell(1, 0);
            menu.ButtonOKClick();
        });
        QTest::mouseClick(Child<QPushButton>(form, "ButtonSelectCom"), Qt::LeftButton);
        EXPECT_EQ(Text(form, "EditComPort"), QString::number(expectedPort));
        ClickOk(form);
    }));
    EXPECT_EQ(block.ComPort, expectedPort);
}

struct CheckCase {
    const char* name;
    const char* script;
    const char* caption;
    const char* upper;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.name;
}

class ComSetCheck : public ::testing::TestWithParam<CheckCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

const CheckCase kCheckCases[] = {
    {"Found", "printf '%s\\n' \"$1\" > arg.txt; echo 'time<1ms TTL=64' > chkip.res", "  Confirm",
     "Found this IP device successfully."},
    {"NotFound", "printf '%s\\n' \"$1\" > arg.txt; echo 'Request timed out.' > chkip.res", "  Error ",
     "Could not find this IP device."},
};

TEST_P(ComSetCheck, CheckNormalisesTheAddressAndShowsTheResult)
{
    qmrtest::WriteFile("chkip.bat", std::string(GetParam().script) + "\n");
    ComSettings block = Block(1, 1, "192.168.0.88", "", "", "\n");
    const ComSettings before = block;
    QString caption, upper, lower;
    EXPECT_TRUE(RunDialog(block, [&](TFormComSet& form) {
        Child<QLineEdit>(form, "EditTcpIp")->setText("127.000.000.0019");
        AnswerNext<TFormMsg>([&](TFormMsg& msg) {
            caption = msg.findChild<QLabel*>("PanelCaption")->text();
            upper = msg.findChild<QLabel*>("PanelUp")->text();
            lower = msg.findChild<QLabel*>("PanelDn")->text();
            msg.ButtonOkClick();
        });
        QTest::mouseClick(Child<QPushButton>(form, "ButtonCheck"), Qt::LeftButton);
        // The window stays open with the normalised text, the wait label hidden again.
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(Text(form, "EditTcpIp"), "127.0.0.1");
        EXPECT_FALSE(Shown(form, "LabelWait"));
        ClickOk(form);
    }));
    EXPECT_EQ(caption, GetParam().caption);
    EXPECT_EQ(upper, GetParam().upper);
    EXPECT_EQ(lower, "127.0.0.1");
    EXPECT_EQ(qmrtest::ReadFile("arg.txt"), "127.0.0.1\n");
    EXPECT_STREQ(block.IpAddress, "127.0.0.1");
    EXPECT_EQ(std::memcmp(block.IpAddressAlt, before.IpAddressAlt, sizeof block.IpAddressAlt), 0);
}

INSTANTIATE_TEST_SUITE_P(Results, ComSetCheck, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComSetTest, WindowDoesNotRememberItsPosition)
{
    // Nothing is stored for it, and it does not delete the module it was given.
    ComSettings block = Block(0, 1, "192.168.0.88", "", "", "\n");
    KModule module;
    {
        TFormComSet form(nullptr, block, &module);
        AnswerNext<TFormComSet>([](TFormComSet& shown) { shown.close(); });
        EXPECT_EQ(form.exec(), QDialog::Rejected);
        EXPECT_EQ(form.GetModule(), &module);
    }
    EXPECT_TRUE(ShowComSetDialog(nullptr) == false);
}

} // namespace
