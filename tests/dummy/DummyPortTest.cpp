// The dummy port as another program uses it: through libbramble.so's exports, in a Qt
// application, with the operator's side played on the port's real window.

#include "bramble/Bramble.h"

#include "TestSupport.h"

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

using namespace std::chrono_literals;

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

// Plays the operator: whenever the window's lamp shows a reply awaited, confirms it (the
// button, or Enter in the reply box) and counts the confirmations.
class Operator {
public:
    Operator(QWidget* window, bool byEnter) : window_(window), byEnter_(byEnter)
    {
        QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
        tick_.start(20);
    }
    int Confirmations() const { return count_; }
    void Stop() { tick_.stop(); }

private:
    void Tick()
    {
        auto* lamp = window_.isNull() ? nullptr : window_->findChild<QLabel*>("ShapeRx");
        if (lamp == nullptr || lamp->grab().toImage().pixelColor(8, 8) != QColor(Qt::red)) {
            return;
        }
        ++count_;
        if (byEnter_) {
            QTest::keyClick(window_->findChild<QComboBox*>("ComboBoxRx"), Qt::Key_Return);
        } else {
            window_->findChild<QPushButton*>("Button1")->click();
        }
    }
    QPointer<QWidget> window_;
    bool byEnter_;
    QTimer tick_;
    int count_ = 0;
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

    template <class W>
    W* Control(const char* name) const
    {
        W* w = window->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Automatic replies without a delay: `text` from EditOK.
    void AnswerAtOnce(const QString& text, bool hex = false)
    {
        Control<QLineEdit>("EditSec")->setText("0");
        Control<QLineEdit>("EditOK")->setText(text);
        Control<QCheckBox>("CheckBoxHex")->setChecked(hex);
    }
    std::string Recv(int* result = nullptr, int max = 128)
    {
        std::string buf(static_cast<size_t>(max) + 1, '\x55');
        const int n = _Rs232Recv(3, buf.data(), max);
        if (result != nullptr) {
            *result = n;
        }
        return n < 0 ? "<none>" : buf.substr(0, static_cast<size_t>(n));
    }

    QPointer<QWidget> window;
};

TEST_F(DummyPort, WindowFollowsTheFormAndTakesTheCaller_sName)
{
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(_FormDlgSioDmy, nullptr);
    struct Place {
        const char* name;
        int x, y;
    };
    for (Place p : {Place{"ShapeRx", 4, 8}, Place{"ComboBoxRx", 24, 8}, Place{"CheckBoxWait", 13, 33},
                    Place{"Button1", 139, 32}, Place{"CheckBoxHex", 200, 33}, Place{"RadioButtonOK", 8, 58},
                    Place{"EditOK", 96, 56}, Place{"RadioButtonNG", 8, 82}, Place{"EditNG", 96, 80},
                    Place{"Label1", 16, 108}, Place{"EditSec", 96, 104}, Place{"MemoTx", 8, 128}}) {
        QWidget* w = Control<QWidget>(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->pos(), QPoint(p.x, p.y)) << p.name;
    }
    EXPECT_EQ(Control<QPushButton>("Button1")->text(), QString::fromUtf8("確定"));
    EXPECT_EQ(Control<QLineEdit>("EditSec")->text(), "2");
    EXPECT_EQ(Control<QComboBox>("ComboBoxRx")->currentText(), "OK");
    EXPECT_TRUE(Control<QRadioButton>("RadioButtonOK")->isChecked());

    _Rs232Name(3, "Probe");
    EXPECT_EQ(window->windowTitle(), "Probe");
    _Rs232Name(3, nullptr);
    EXPECT_EQ(window->windowTitle(), "Probe");

    // Reopening the slot gives a fresh window under the caption rule.
    ASSERT_EQ(_Rs232Open(3, kSettings), 3);
    EXPECT_TRUE(window.isNull());
    window = WindowTitled("Ch3 Debug");
    ASSERT_NE(window, nullptr);

    unsigned long state = 7;
    using Line = unsigned char (*)(int);
    for (Line line : {&_Rs_SetRts, &_Rs_SetDtr, &_Rs_SetBreak, &_Rs_ClrRts, &_Rs_ClrDtr, &_Rs_ClrBreak}) {
        EXPECT_EQ(line(3), 0);
    }
    EXPECT_EQ(_Rs_SetSignalState(3, 3), 0);
    EXPECT_EQ(_Rs_GetSignalState(3, &state), 0);
    EXPECT_EQ(state, 7u);
}

TEST_F(DummyPort, SentTextsAreMemoLines)
{
    auto* memo = Control<QPlainTextEdit>("MemoTx");
    ASSERT_EQ(_Rs232CrLf(3, "#"), 1);
    EXPECT_EQ(_Rs232Send(3, "*IDN?", 5), 1);
    EXPECT_EQ(_Rs232SendN(3, ":SYST:ERR?", 10), 1);
    // Never more than the bytes the caller vouched for.
    EXPECT_EQ(_Rs232SendN(3, "ABCDEF", 3), 1);
    EXPECT_EQ(memo->toPlainText(), "*IDN?\n#\n:SYST:ERR?\nABC");
    EXPECT_EQ(_Rs232Send(3, nullptr, 3), 0);
    EXPECT_EQ(_Rs232SendN(3, "x", -1), 0);
    EXPECT_EQ(memo->blockCount(), 4);
}

struct AutoCase {
    const char* seconds;
    bool ng;
    long atLeastMs, atMostMs;
};

void PrintTo(const AutoCase& c, std::ostream* os)
{
    *os << (c.ng ? "NG after " : "OK after ") << c.seconds;
}

class DummyAutoReply : public DummyPort, public ::testing::WithParamInterface<AutoCase> {};

// A line receive runs the countdown twice; a delay that is no positive number means none.
TEST_P(DummyAutoReply, ComesAfterTwoCountdowns)
{
    const AutoCase& c = GetParam();
    Control<QLineEdit>("EditOK")->setText("ACK");
    Control<QLineEdit>("EditNG")->setText("NAK");
    Control<QRadioButton>(c.ng ? "RadioButtonNG" : "RadioButtonOK")->setChecked(true);
    Control<QLineEdit>("EditSec")->setText(c.seconds);
    const auto start = Clock::now();
    int n = 0;
    EXPECT_EQ(Recv(&n), c.ng ? "NAK" : "ACK");
    EXPECT_EQ(n, 3);
    EXPECT_GE(MsSince(start), c.atLeastMs);
    EXPECT_LE(MsSince(start), c.atMostMs);
}

INSTANTIATE_TEST_SUITE_P(Table, DummyAutoReply,
                         ::testing::Values(AutoCase{"2", false, 3500, 8000}, AutoCase{"0", false, 0, 500},
                                           AutoCase{"0", true, 0, 500}, AutoCase{"soon", false, 0, 500},
                                           AutoCase{"-3", true, 0, 500}));

struct HexCase {
    const char* digits;
    std::string line;
};

void PrintTo(const HexCase& c, std::ostream* os)
{
    *os << '"' << c.digits << '"';
}

class DummyHexReply : public DummyPort, public ::testing::WithParamInterface<HexCase> {};

// Hex replies, given automatically: the length announced is that of the bytes delivered.
TEST_P(DummyHexReply, DecodesPairs)
{
    AnswerAtOnce(GetParam().digits, true);
    int n = 0;
    EXPECT_EQ(Recv(&n), GetParam().line);
    EXPECT_EQ(n, static_cast<int>(GetParam().line.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DummyHexReply,
    ::testing::Values(
        HexCase{"414243", "ABC"}, HexCase{"4142434", "ABC"}, HexCase{"616a6B", "ajk"},
        HexCase{"4g2Z", std::string("\x40\x20", 2)}, HexCase{"41004243", "A"}, HexCase{"7", "7"}, HexCase{"", ""},
        HexCase{"00", ""},
        HexCase{"41414141414141414141414141414141414141414141414141414141414141414141414141414141414141414141414141"
                "4141",
                std::string(49, 'A')}));

TEST_F(DummyPort, TypedHexReplyComesAfterTwoConfirmations)
{
    Control<QCheckBox>("CheckBoxWait")->setChecked(true);
    Control<QCheckBox>("CheckBoxHex")->setChecked(true);
    Control<QComboBox>("ComboBoxRx")->setEditText("4142434");
    Operator op(window, false);
    int n = 0;
    EXPECT_EQ(Recv(&n), "ABC");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(op.Confirmations(), 2);
}

// How many confirmations each receive asks for; Enter in the reply box confirms once.
TEST_F(DummyPort, EachReceiveWaitsAsOftenAsItAsks)
{
    Control<QCheckBox>("CheckBoxWait")->setChecked(true);
    auto* box = Control<QComboBox>("ComboBoxRx");
    box->setEditText("X");
    Operator op(window, true);
    char buf[16];
    EXPECT_EQ(_Rs232RecvN(3, buf, 15), 1); // once, no terminator
    EXPECT_STREQ(buf, "X");
    EXPECT_EQ(op.Confirmations(), 1);
    EXPECT_EQ(_Rs232RecvLen(3), 1);
    EXPECT_EQ(op.Confirmations(), 2);
    _Rs232BufferClear(3); // once, and nothing dropped
    EXPECT_EQ(op.Confirmations(), 3);
    EXPECT_EQ(Recv(), "X");
    EXPECT_EQ(op.Confirmations(), 5);
    // The history gains each new reply once.
    box->setEditText("Y");
    EXPECT_EQ(Recv(), "Y");
    box->setEditText("X");
    EXPECT_EQ(Recv(), "X");
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    EXPECT_EQ(items, QStringList({"OK", "X", "Y"}));
}

TEST_F(DummyPort, ClosingTheWindowEndsTheWait)
{
    Control<QCheckBox>("CheckBoxWait")->setChecked(true);
    QTimer::singleShot(100, window, [this] { window->close(); });
    auto start = Clock::now();
    EXPECT_EQ(_Rs232RecvLen(3), 0);
    EXPECT_LT(MsSince(start), 1000);
    start = Clock::now();
    int n = 0;
    EXPECT_EQ(Recv(&n), "<none>");
    EXPECT_EQ(n, -1);
    EXPECT_LT(MsSince(start), 100);
}

// A caller on another thread: the window work runs on the GUI thread, which stays free.
TEST(DummyPortThreads, AWorkerOpensSendsReceivesAndCloses)
{
    _SetSioDmy(1);
    std::atomic<int> opened{-2};
    std::atomic<bool> received{false};
    std::atomic<bool> done{false};
    std::string line;
    std::thread worker([&] {
        opened = _Rs232Open(7, kSettings);
        if (opened == 7) {
            _Rs232Send(7, "MEAS?", 5);
            char buf[32];
            if (_Rs232Recv(7, buf, 31) >= 0) {
                line = buf;
            }
            received = true;
            _Rs232Close(7);
        }
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened != -2; }, 5000));
    ASSERT_EQ(opened, 7);
    QPointer<QWidget> window = WindowTitled("Ch7 Debug");
    ASSERT_NE(window, nullptr);
    window->findChild<QCheckBox*>("CheckBoxWait")->setChecked(true);
    window->findChild<QComboBox*>("ComboBoxRx")->setEditText("42");
    Operator op(window, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(received);
    EXPECT_EQ(line, "42");
    EXPECT_EQ(op.Confirmations(), 2);
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
    EXPECT_STREQ(buf, "REAL");
    _Rs232Close(4);
    // Out of range in dummy mode: no window either.
    EXPECT_EQ(_Rs232Open(256, kSettings), -1);
    EXPECT_EQ(_Rs232Open(-1, kSettings), -1);
    _SetSioDmy(0);
    EXPECT_EQ(WindowTitled("Ch256 Debug"), nullptr);
    EXPECT_EQ(WindowTitled("Ch-1 Debug"), nullptr);
}

// When the application quits, waits on the GUI thread and on a worker end with nothing.
// Quitting is final for the process, so this runs in a child of its own.
TEST(DummyPortQuit, QuittingEndsEveryWait)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            _SetSioDmy(1);
            bool ok = _Rs232Open(1, kSettings) == 1 && _Rs232Open(2, kSettings) == 2;
            for (const char* title : {"Ch1 Debug", "Ch2 Debug"}) {
                if (QWidget* w = WindowTitled(title)) {
                    w->findChild<QCheckBox*>("CheckBoxWait")->setChecked(true);
                }
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
            ok = ok && guiResult == 0 && workerResult == 0 && MsSince(start) < 3000;
            // Later waits end at once.
            ok = ok && _Rs232RecvLen(1) == 0;
            _Rs232Close(1);
            _Rs232Close(2);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
