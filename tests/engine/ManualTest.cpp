// The manual window against the simulator: free text sent by SEND and by Enter, the command
// panel, "Control" back to the last control window; and the real program switching through
// its windows with "/A".
#include "EngineRig.h"

#include "ui_Formapqmr.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Formapqmrmn.h"
#include "bramble/Kfile.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace enginetest {
namespace {

const QString kIdentity = QStringLiteral("QMR,QMR3400,SN34000123,1.05");

class ManualTest : public EngineTest {
protected:
    TFormAppQmrManual* Manual() const
    {
        return startUp ? dynamic_cast<TFormAppQmrManual*>(startUp->CurrentWindow()) : nullptr;
    }
    Ui::TFormAppQmr& Form() const { return Manual()->Form(); }
    QString Memo() const { return Form().MemoLog->toPlainText(); }
    bool BusyLit() const { return Form().LabelBusy->palette().color(QPalette::Window) == QColor(0xFF, 0xFF, 0x00); }

    // The control window's Manual button (shown only with "/A"; clicked all the same).
    void ClickManual()
    {
        startUp->CurrentWindow()->findChild<QPushButton*>(QStringLiteral("ButtonManual"))->click();
        ASSERT_NE(Manual(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Manual()));
    }

    // The dB window connected, then the manual window, which connects over the open link.
    void OpenConnected()
    {
        StartSim();
        WriteSettings();
        StartProgram();
        ClickConnect();
        ASSERT_TRUE(WaitRemote());
        ClickManual();
        ASSERT_TRUE(WaitSerialShown());
    }

    // The end of the manual window's connect sequence: the identity read, the module idle.
    bool WaitSerialShown()
    {
        return QTest::qWaitFor(
            [&] {
                return Form().LabelSerial->text() == QStringLiteral("S/N SN34000123") &&
                       Manual()->Module()->GetFunctionState() == fnIDLE && !Manual()->Module()->GetBusy();
            },
            10000);
    }

    void Send(bool byEnter, const char* text)
    {
        Form().EditCmd->setText(QLatin1String(text));
        if (byEnter) {
            QTest::keyClick(Form().EditCmd, Qt::Key_Return);
        } else {
            Form().ButtonSend->click();
        }
    }
};

class ManualSend : public ManualTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ManualSend, AQueryShowsItsReplyAndASetCommandLeavesNothingBusy)
{
    const bool byEnter = GetParam();
    OpenConnected();
    Form().MemoLog->clear();
    sim.ClearRecords();

    Send(byEnter, "*IDN?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Memo().contains(QStringLiteral(" | RECV <- ") + kIdentity); }, 10000))
        << Memo().toStdString();
    EXPECT_TRUE(Memo().contains(QStringLiteral(" | SEND -> *IDN?")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !BusyLit() && Device()->GetCommandState() == csIDLE; }, 2000));

    Send(byEnter, ":DISPl:BRIG 55");
    // No reply comes: nothing is left busy, at once.
    EXPECT_FALSE(Manual()->Module()->IsBusy());
    EXPECT_EQ(Device()->GetCommandState(), csIDLE);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sim.instrument().State().brightness == 55; }, 5000));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"*IDN?", ":DISPl:BRIG 55"}));
    EXPECT_EQ(startUp->CurrentWindow(), Manual());
}

INSTANTIATE_TEST_SUITE_P(Ways, ManualSend, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Enter" : "Send"); });

TEST_F(ManualTest, ASendWhileAReplyIsAwaitedSendsNothingAndTheAwaitedReplyStillArrives)
{
    StartSim();
    WriteSettings();
    StartProgram();
    ClickConnect();
    ASSERT_TRUE(WaitRemote());
    sim.SetReplyDelay(400ms);
    sim.ClearRecords();
    // A query sent before the manual window's connect began: the connect waits for its reply.
    startUp->CurrentWindow()->findChild<QPushButton*>(QStringLiteral("ButtonManual"))->click();
    ASSERT_NE(Manual(), nullptr);
    Send(false, "*IDN?");
    // Refused while the connect sequence awaits ":ISI:MODE?", and between two of its steps: the
    // sequence goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Device()->GetCommandState() == csMODEQ; }, 5000));
    Send(false, "*RST");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Device()->GetCommandState() == csIDLE && Manual()->Module()->GetFunctionState() == fnTOREMOTE; },
        5000));
    Send(false, "*RST");
    ASSERT_TRUE(WaitSerialShown());
    EXPECT_EQ(Count("*RST"), 0);
    ASSERT_GE(Lines().size(), 2U);
    EXPECT_EQ(Lines()[1], ":ISI:MODE?");

    // Refused while a free-text query awaits its reply: its reply is still taken.
    sim.ClearRecords();
    Form().MemoLog->clear();
    Send(false, "*IDN?");
    Send(false, ":DISPl:BRIG 33");
    Send(true, "*IDN?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Memo().contains(QStringLiteral(" | RECV <- ") + kIdentity); }, 5000))
        << Memo().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Device()->GetCommandState() == csIDLE && !BusyLit(); }, 2000));
    EXPECT_EQ(Lines(), std::vector<std::string>{"*IDN?"});
    EXPECT_EQ(sim.instrument().State().brightness, 80);
}

TEST_F(ManualTest, FormShowsTheDeveloperControlsAndALabelClickFillsTheCommandEdit)
{
    StartSim();
    WriteSettings();
    StartProgram();
    // Without "/A" the control window offers neither Manual nor BusyChk.
    EXPECT_FALSE(startUp->CurrentWindow()->findChild<QPushButton*>(QStringLiteral("ButtonManual"))->isVisible());
    EXPECT_FALSE(startUp->CurrentWindow()->findChild<QPushButton*>(QStringLiteral("ButtonBusyChk"))->isVisible());
    ClickManual();
    EXPECT_EQ(Manual()->windowTitle(), QStringLiteral("FormAppQmrManual"));
    EXPECT_TRUE(Form().LabelDebug->isVisible());
    EXPECT_TRUE(Form().ButtonManual->isVisible());
    EXPECT_EQ(Form().ButtonManual->text(), QStringLiteral("Control"));
    EXPECT_FALSE(Form().ButtonMode->isVisible());
    EXPECT_EQ(Form().EditCmd->text(), QStringLiteral("*IDN?"));
    Manual()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Manual()));

    // The ready-made texts keep their trailing blanks, for the value the operator adds.
    EXPECT_EQ(Form().PanelDbg->findChild<QLabel*>(QStringLiteral("LabelSeri"))->text(), QStringLiteral(":DEBU:SERI "));
    EXPECT_EQ(Form().PanelDbg->findChild<QLabel*>(QStringLiteral("Label7"))->text(),
              QStringLiteral(":DISPlay:AUTOoff "));
    const QList<QLabel*> labels = Form().PanelDbg->findChildren<QLabel*>();
    EXPECT_EQ(labels.size(), 16);
    for (QLabel* label : labels) {
        ASSERT_TRUE(label->isVisible()) << label->objectName().toStdString();
        Form().ButtonSend->setFocus();
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(Form().EditCmd->text(), label->text());
        EXPECT_TRUE(Form().EditCmd->hasFocus()) << label->objectName().toStdString();
    }
    EXPECT_TRUE(Lines().empty());
}

struct ControlCase {
    const char* name;
    int control; // the control window opened before the manual window
    int usbCom;  // above 0: the link over the simulator's pseudo-terminal
    bool linkOpen;
};

void PrintTo(const ControlCase& c, std::ostream* os)
{
    *os << c.name;
}

class ManualControl : public ManualTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ManualControl, GoesBackToTheLastControlWindowWhichConnectsWhenTheLinkIsOpen)
{
    const ControlCase& c = GetParam();
    StartSim(c.usbCom);
    WriteSettings(c.usbCom);
    sim.instrument().SetMode(c.control == 0 ? 'I' : 'P');
    StartProgram();
    startUp->ChangeWindow(c.control, 0);
    if (c.linkOpen) {
        ClickConnect();
        ASSERT_TRUE(WaitRemote());
    }
    ClickManual();
    if (c.linkOpen) {
        ASSERT_TRUE(WaitSerialShown());
    }
    sim.ClearRecords();

    Form().ButtonManual->click();
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Window()->number, c.control);
    EXPECT_FALSE(Manual() != nullptr);
    EXPECT_EQ(Window()->AutoConnect(), c.linkOpen);
    if (!c.linkOpen) {
        EXPECT_FALSE(Module()->IsConnected());
        EXPECT_TRUE(Lines().empty());
        return;
    }
    EXPECT_EQ(Window()->IsUsbPageActive(), c.usbCom > 0);
    ASSERT_TRUE(WaitRemote());
    EXPECT_EQ(Lines(), ConnectLines(c.control, 1000));
}

INSTANTIATE_TEST_SUITE_P(Table, ManualControl,
                         ::testing::Values(ControlCase{"dbOverLan", 0, 0, true},
                                           ControlCase{"percentOverUsb", 1, 7, true},
                                           ControlCase{"percentLinkClosed", 1, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// "APPPOS.POS": caption -> left, top.
std::map<std::string, std::pair<int, int>> Positions()
{
    std::map<std::string, std::pair<int, int>> positions;
    const std::string bytes = qmrtest::ReadFile("APPPOS.POS");
    for (size_t at = 0; at + sizeof(WinPosRecord) <= bytes.size(); at += sizeof(WinPosRecord)) {
        WinPosRecord record;
        std::memcpy(&record, bytes.data() + at, sizeof record);
        record.caption[sizeof record.caption - 1] = '\0';
        positions[record.caption] = {record.left, record.top};
    }
    return positions;
}

// Runs the real program with `args`, played by "drive.txt", until the script is done (or a
// step timed out), then ends it with SIGTERM: it must exit 0. The driver's report in `report`.
void PlayProgram(const std::vector<std::string>& args, std::string& report)
{
    ProgramProcess program;
    ASSERT_TRUE(program.Start(
        args, {"QT_QPA_GENERIC_PLUGINS=qmrdrive:drive.txt", std::string("QT_PLUGIN_PATH=") + QMR_PLUGIN_DIR}));
    const bool played = qmrtest::WaitFor(
        [&] {
            report = qmrtest::ReadFile("drive.txt.report");
            return report.find("done") != std::string::npos || report.find("timeout") != std::string::npos;
        },
        120s);
    program.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(program.WaitExit(20s, status));
    ASSERT_TRUE(played) << report;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The real program with "/A", driven through its windows as an operator would.
TEST_F(ManualTest, ProgramSwitchesThroughItsWindowsAndKeepsTheirPositions)
{
    StartSim();
    WriteSettings();
    qmrtest::WriteFile("drive.txt", "window TFormAppQmrIL\n"
                                    "visible ButtonBusyChk\n"
                                    "click ButtonConnect\n"
                                    "ready\n"
                                    "move 101 81\n"
                                    "click ButtonManual\n"
                                    "window TFormAppQmrManual\n"
                                    "text LabelSerial S/N SN34000123\n"
                                    "ready\n"
                                    "move 303 202\n"
                                    "click ButtonManual\n"
                                    "window TFormAppQmrIL\n"
                                    "ready\n"
                                    "move 120 90\n"
                                    "click ButtonConfig\n"
                                    "window TFormAppQmrConfig\n"
                                    "text LabelMsg Read all settings is completed.\n"
                                    "move 150 110\n"
                                    "click ButtonConfig\n"
                                    "window TFormAppQmrIL\n"
                                    "ready\n"
                                    "move 161 131\n"
                                    "done\n");
    std::string report;
    PlayProgram({"/A", "/l"}, report);
    if (HasFatalFailure()) {
        return;
    }

    // Each window hides the one before (and the splash), and each switch makes one window. The
    // dB and settings windows share one caption and so one position: each opens where the last
    // of them was closed (the window it replaces closes only once the new one shows).
    // The closed window is gone by the next step.
    const std::vector<std::string> expected = {"window TFormAppQmrIL visible=TFormAppQmrIL kept=1 at=",
                                               "window TFormAppQmrManual visible=TFormAppQmrManual kept=1 at=",
                                               "window TFormAppQmrIL visible=TFormAppQmrIL kept=1 at=101,81",
                                               "window TFormAppQmrConfig visible=TFormAppQmrConfig kept=1 at=101,81",
                                               "window TFormAppQmrIL visible=TFormAppQmrIL kept=1 at=120,90",
                                               "done"};
    std::istringstream lines(report);
    for (const std::string& want : expected) {
        std::string line;
        std::getline(lines, line);
        EXPECT_TRUE(line.starts_with(want)) << line << "\n" << report;
    }
    const std::string log = LogText();
    std::vector<std::string> switches;
    const std::string tag = "ChangeWindow <";
    for (size_t at = log.find(tag); at != std::string::npos; at = log.find(tag, at + 1)) {
        const size_t number = at + tag.size();
        switches.push_back(log.substr(number, log.find('>', number) - number));
    }
    EXPECT_EQ(switches, (std::vector<std::string>{"0", "3", "0", "2", "0"})) << log;
    EXPECT_NE(log.find("*IDN?"), std::string::npos);

    // The dB and settings windows share the product's caption; the manual window keeps its own.
    const auto positions = Positions();
    EXPECT_EQ(positions.at("QMR3400"), std::make_pair(161, 131));
    EXPECT_EQ(positions.at("FormAppQmrManual"), std::make_pair(303, 202));
}

// Started in a folder without the address check's script, the program takes the one shipped
// beside it, which leaves its result in the working folder.
TEST_F(ManualTest, ProgramStartedOutsideItsFolderConnectsOverLan)
{
    if (std::system("ping -c 1 -W 1 127.0.0.1 > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ping does not work here";
    }
    StartSim();
    WriteSettings();
    std::filesystem::remove("chkip.bat");
    qmrtest::WriteFile("drive.txt", "window TFormAppQmrIL\nclick ButtonConnect\nready\ndone\n");
    std::string report;
    PlayProgram({"/l"}, report);
    EXPECT_EQ(report.find("timeout"), std::string::npos) << report;
    EXPECT_NE(qmrtest::ReadFile("chkip.res").find("ms TTL="), std::string::npos);
    EXPECT_NE(LogText().find("*IDN?"), std::string::npos);
}

} // namespace
} // namespace enginetest
