// The dummy port as another program uses it: through libbramble.so's exports, in a Qt
// application, with the operator's side played on the port's real window.

#include "bramble/Bramble.h"

#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace {

constexpr const char* kSettings = "baud=19200 parity=N data=8 stop=1";
using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

QWidget* WindowTitled(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == title) {
            return w;
        }
    }
    return nullptr;
}

template <class W>
W* Control(QWidget* window, const char* name)
{
    W* w = window != nullptr ? window->findChild<W*>(name) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Plays the operator: whenever the lamp shows a reply awaited, confirms it (the button, or
// Enter in the reply box) and counts the confirmations; from the second wait on, `instead`
// runs in place of a confirmation when it is given.
class Operator {
public:
    Operator(QWidget* window, bool byEnter, std::function<void()> instead = {}) : window_(window)
    {
        QObject::connect(&tick_, &QTimer::timeout, [this, byEnter, instead] {
            auto* lamp = window_.isNull() ? nullptr : window_->findChild<QLabel*>("ShapeRx");
            if (lamp == nullptr || lamp->grab().toImage().pixelColor(8, 8) != QColor(Qt::red)) {
                return;
            }
            if (++count > 1 && instead) {
                instead();
            } else if (byEnter) {
                QTest::keyClick(window_->findChild<QComboBox*>("ComboBoxRx"), Qt::Key_Return);
            } else {
                window_->findChild<QPushButton*>("Button1")->click();
            }
        });
        tick_.start(20);
    }
    int count = 0;

private:
    QPointer<QWidget> window_;
    QTimer tick_;
};

class DummyPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(_SetSioDmy(1), 1);
        ASSERT_EQ(_Rs232Open(3, kSettings), 3);
        window = WindowTitled("Ch3 Debug");
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        _Rs232Close(3);
        _SetSioDmy(0);
        EXPECT_TRUE(window.isNull()) << "the window outlived its port";
    }
    void Set(const char* edit, const char* text) { Control<QLineEdit>(window, edit)->setText(text); }
    void Check(const char* box, bool on = true) { Control<QAbstractButton>(window, box)->setChecked(on); }
    std::string Recv(int* result)
    {
        char buf[129];
        *result = _Rs232Recv(3, buf, 128);
        return *result < 0 ? "<none>" : std::string(buf, static_cast<size_t>(*result));
    }

    QPointer<QWidget> window;
};

TEST_F(DummyPort, CaptionRenameReopenAndModemLines)
{
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(_FormDlgSioDmy, nullptr);
    _Rs232Name(3, "Probe");
    _Rs232Name(3, nullptr);
    EXPECT_EQ(window->windowTitle(), "Probe");
    // Reopening the slot gives a fresh window under the caption rule.
    Set("EditSec", "0");
    ASSERT_EQ(_Rs232Open(3, kSettings), 3);
    EXPECT_TRUE(window.isNull());
    window = WindowTitled("Ch3 Debug");
    EXPECT_EQ(Control<QLineEdit>(window, "EditSec")->text(), "2");
    unsigned long state = 7;
    for (auto line : {&_Rs_SetRts, &_Rs_SetDtr, &_Rs_SetBreak, &_Rs_ClrRts, &_Rs_ClrDtr, &_Rs_ClrBreak}) {
        EXPECT_EQ(line(3), 0);
    }
    EXPECT_EQ(_Rs_SetSignalState(3, 3) + _Rs_GetSignalState(3, &state), 0);
    EXPECT_EQ(state, 7u);
}

TEST_F(DummyPort, SentTextsAreMemoLinesAndBadArgumentsFail)
{
    ASSERT_EQ(_Rs232CrLf(3, "#"), 1);
    EXPECT_EQ(_Rs232Send(3, "*IDN?", 5), 1);
    EXPECT_EQ(_Rs232SendN(3, ":SYST:ERR?", 10), 1);
    // The window shows each text to its NUL: the length is not used.
    EXPECT_EQ(_Rs232Send(3, "ABCDEF", 3), 1);
    EXPECT_EQ(_Rs232SendN(3, "GHIJ", 2), 1);
    EXPECT_EQ(_Rs232Send(3, nullptr, 3) + _Rs232SendN(3, "x", -1), 0);
    // No buffer: refused before any wait.
    const auto start = Clock::now();
    EXPECT_EQ(_Rs232Recv(3, nullptr, 5) + _Rs232RecvN(3, nullptr, 5), -2);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(Control<QPlainTextEdit>(window, "MemoTx")->toPlainText(), "*IDN?\n#\n:SYST:ERR?\nABCDEF\n#\nGHIJ");
}

struct ReplyCase {
    const char* seconds; // `EditSec`
    bool ng, hex;
    const char* text; // `EditOK` or `EditNG`
    std::string line;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << (c.ng ? "NG " : "OK ") << (c.hex ? "hex " : "") << '"' << c.text << "\" after " << c.seconds;
}

class DummyAutoReply : public DummyPort, public ::testing::WithParamInterface<ReplyCase> {};

// A line receive runs the countdown twice; a delay that is no positive number means none. In
// hex the length announced is that of the bytes delivered.
TEST_P(DummyAutoReply, ComesAsTheWindowSays)
{
    const ReplyCase& c = GetParam();
    Set("EditSec", c.seconds);
    Set(c.ng ? "EditNG" : "EditOK", c.text);
    Check(c.ng ? "RadioButtonNG" : "RadioButtonOK");
    Check("CheckBoxHex", c.hex);
    const auto start = Clock::now();
    int n = 0;
    EXPECT_EQ(Recv(&n), c.line);
    EXPECT_EQ(n, static_cast<int>(c.line.size()));
    const bool delayed = std::string(c.seconds) == "2";
    EXPECT_GE(MsSince(start), delayed ? 3500 : 0);
    EXPECT_LE(MsSince(start), delayed ? 8000 : 500);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, DummyAutoReply, ::testing::Values(
    ReplyCase{"2", false, false, "ACK", "ACK"}, ReplyCase{"0", false, false, "ACK", "ACK"},
    ReplyCase{"0", true, false, "NAK", "NAK"}, ReplyCase{"soon", false, false, "ACK", "ACK"},
    ReplyCase{"-3", true, false, "ACK", "ACK"}, ReplyCase{"0", false, true, "4142434", "ABC"},
    ReplyCase{"0", true, true, "616a6B", "ajk"}, ReplyCase{"0", false, true, "4g2Z", "\x40\x20"},
    ReplyCase{"0", false, true, "41004243", "A"}, ReplyCase{"0", false, true, "7", "7"},
    // Of a hundred digits the first 99 are read: 49 bytes.
    ReplyCase{"0", false, true, "41414141414141414141414141414141414141414141414141414141414141414141414141414141"
                                "41414141414141414141", std::string(49, 'A')}));
// clang-format on

TEST_F(DummyPort, TypedHexReplyComesAfterTwoConfirmations)
{
    Check("CheckBoxWait");
    Check("CheckBoxHex");
    Control<QComboBox>(window, "ComboBoxRx")->setEditText("4142434");
    Operator op(window, false);
    int n = 0;
    EXPECT_EQ(Recv(&n), "ABC");
    EXPECT_EQ(op.count, 2);
}

// How many confirmations each receive asks for (Enter counts once), and the reply history.
TEST_F(DummyPort, EachReceiveWaitsAsOftenAsItAsks)
{
    Check("CheckBoxWait");
    auto* box = Control<QComboBox>(window, "ComboBoxRx");
    box->setEditText("X");
    Operator op(window, true);
    char buf[16];
    EXPECT_EQ(_Rs232RecvN(3, buf, 15), 1); // once, without terminator
    EXPECT_EQ(op.count, 1);
    EXPECT_EQ(_Rs232RecvLen(3), 1); // line mode went off with the raw receive
    EXPECT_EQ(op.count, 2);
    _Rs232BufferClear(3); // once, and nothing dropped
    EXPECT_EQ(op.count, 3);
    int n = 0;
    for (const char* reply : {"X", "Y", "X"}) {
        box->setEditText(reply);
        EXPECT_EQ(Recv(&n), reply);
    }
    EXPECT_EQ(op.count, 9);
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    EXPECT_EQ(items, QStringList({"OK", "X", "Y"}));
}

TEST_F(DummyPort, ClosingTheWindowEndsTheWait)
{
    Check("CheckBoxWait");
    QTimer::singleShot(100, window, [this] { window->close(); });
    auto start = Clock::now();
    EXPECT_EQ(_Rs232RecvLen(3), 0);
    int n = 0;
    EXPECT_EQ(Recv(&n), "<none>");
    EXPECT_LT(MsSince(start), 1000);
}

// A close of the port (say from a Disconnect button) during the second wait of a line receive
// ends that wait with nothing; the slot is empty at once and the port goes after the receive.
TEST_F(DummyPort, ClosingThePortDuringAWaitFreesItOnlyAfterTheWait)
{
    Check("CheckBoxWait");
    int slotAfterClose = 99;
    Operator op(window, false, [&] {
        _Rs232Close(3);
        slotAfterClose = _Rs232RecvLen(3);
    });
    int n = 0;
    EXPECT_EQ(Recv(&n), "<none>");
    EXPECT_EQ(op.count, 2);
    EXPECT_EQ(slotAfterClose, -1);
    EXPECT_TRUE(window.isNull());
}

// A caller on another thread: the window work runs on the GUI thread, which stays free.
TEST(DummyPortThreads, AWorkerOpensSendsReceivesAndCloses)
{
    _SetSioDmy(1);
    std::atomic<int> opened{-2};
    std::atomic<bool> done{false};
    std::string line;
    std::thread worker([&] {
        opened = _Rs232Open(7, kSettings);
        char buf[32];
        if (opened == 7 && _Rs232Send(7, "MEAS?", 5) == 1 && _Rs232Recv(7, buf, 31) >= 0) {
            line = buf;
        }
        _Rs232Close(7);
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened != -2; }, 5000));
    QPointer<QWidget> window = WindowTitled("Ch7 Debug");
    Control<QCheckBox>(window, "CheckBoxWait")->setChecked(true);
    Control<QComboBox>(window, "ComboBoxRx")->setEditText("42");
    Operator op(window, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(line, "42");
    EXPECT_EQ(op.count, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 2000));
    _SetSioDmy(0);
}

TEST(DummyPortSlots, AnOccupiedRealSlotStaysReal)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
    pty.PublishAs(5);
    ASSERT_EQ(_Rs232Open(4, kSettings), 4);
    _SetSioDmy(1);
    ASSERT_EQ(_Rs232Open(4, kSettings), 4);
    EXPECT_EQ(WindowTitled("Ch4 Debug"), nullptr);
    ASSERT_TRUE(pty.Write("REAL\r\n"));
    char buf[16];
    EXPECT_EQ(_Rs232Recv(4, buf, 15), 4);
    _Rs232Close(4);
    EXPECT_EQ(_Rs232Open(256, kSettings) + _Rs232Open(-1, kSettings), -2);
    _SetSioDmy(0);
}

// When the application quits, waits on the GUI thread and on a worker end with nothing, and
// later ones at once. Quitting is final for the process: this runs in a child of its own.
TEST(DummyPortQuit, QuittingEndsEveryWait)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            _SetSioDmy(1);
            bool ok = _Rs232Open(1, kSettings) == 1 && _Rs232Open(2, kSettings) == 2;
            for (const char* title : {"Ch1 Debug", "Ch2 Debug"}) {
                Control<QCheckBox>(WindowTitled(title), "CheckBoxWait")->setChecked(true);
            }
            std::atomic<int> workerResult{99};
            std::thread worker;
            int guiResult = 99;
            QTimer::singleShot(0, [&] {
                worker = std::thread([&] { workerResult = _Rs232RecvLen(2); });
                QTimer::singleShot(200, qApp, &QCoreApplication::quit);
                guiResult = _Rs232RecvLen(1);
            });
            const auto start = Clock::now();
            QApplication::exec();
            worker.join();
            ok = ok && guiResult == 0 && workerResult == 0 && MsSince(start) < 3000 && _Rs232RecvLen(1) == 0;
            _Rs232Close(1);
            _Rs232Close(2);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
