// Enter and Escape in every edit of every instrument window, unconnected and connected to the
// simulator: only what the edit itself sends goes out, no button is pressed, no window closes.
#include "EngineRig.h"

#include "app/instrument/Kmdlcnf.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Frmsldfq.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace enginetest {
namespace {

struct EditCase {
    const char* frame; // the slider frame that holds the edit, or none
    const char* edit;
    const char* text;
    std::vector<std::string> sent; // by Enter when connected; nothing unconnected
};

const struct {
    int window;
    char mode;
    std::vector<EditCase> edits;
} kWindows[] = {
    {0,
     'I',
     {{"FrameSliderFrq", "EditNum", "12.34", {":ISI:RANG? 1234;:SYST:ERR?", ":ISI:IL 0,1234"}},
      {"FrameSliderIL", "EditNum", "12.3", {":ISI:IL 123,1234"}}}},
    {1, 'P', {{"FrameSliderPp", "EditNum", "23.4", {":ISI:LEVE 23.4"}}}},
    {2,
     'I',
     {{nullptr, "EditBrightness", "40", {}}, {nullptr, "EditAutoOff", "5", {}}, {nullptr, "EditIp", "1.2.3.4", {}}}},
    {3, 'I', {{nullptr, "EditCmd", "*IDN?", {"*IDN?"}}}},
};

TEST_F(EngineTest, EnterAndEscapeDoOnlyWhatTheEditDoes)
{
    TFormStartUp::SetWindowMaker(0, [](QWidget* o, KModuleQmr* m) -> TFormAppQmr* { return new TFormAppQmrIL(o, m); });
    TFormStartUp::SetWindowMaker(1, [](QWidget* o, KModuleQmr* m) -> TFormAppQmr* { return new TFormAppQmrPp(o, m); });
    StartSim();
    WriteSettings();
    for (const auto& w : kWindows) {
        for (const bool connected : {false, true}) {
            SCOPED_TRACE(testing::Message() << "window " << w.window << (connected ? " connected" : ""));
            sim.instrument().SetMode(w.mode);
            startUp = std::make_unique<TFormStartUp>();
            startUp->show();
            startUp->StartUp();
            startUp->ChangeWindow(w.window, 0);
            TFormAppQmr* win = startUp->CurrentWindow();
            auto* config = dynamic_cast<TFormAppQmrConfig*>(win);
            auto quiet = [&] {
                KModuleQmr* m = win->Module();
                return m->GetFunctionState() == fnIDLE && !m->GetBusy() && !m->IsDeviceBusy() &&
                       (config == nullptr || !config->ConfigModule()->IsSequenceRunning());
            };
            if (connected) {
                win->findChild<QPushButton*>(QStringLiteral("ButtonConnect"))->click();
                ASSERT_TRUE(QTest::qWaitFor([&] { return win->Module()->IsConnected() && quiet(); }, 10000));
            }
            sim.ClearRecords();
            op.Forget();
            std::vector<std::string> expected;
            for (const EditCase& e : w.edits) {
                QWidget* parent = e.frame != nullptr ? win->findChild<QWidget*>(e.frame) : win;
                auto* edit = parent->findChild<QLineEdit*>(e.edit);
                // The frequency edit is open while Frequency SET is down.
                auto* db = dynamic_cast<TFormAppQmrIL*>(win);
                QToolButton* set = db != nullptr && parent == db->FrameSliderFrq ? db->SpeedButtonSet : nullptr;
                ASSERT_TRUE(QTest::qWaitFor(quiet, 5000));
                if (set != nullptr) {
                    QTest::mouseClick(set, Qt::LeftButton);
                }
                edit->setText(QLatin1String(e.text));
                QTest::keyClick(edit, Qt::Key_Return);
                QTest::keyClick(edit, Qt::Key_Escape);
                if (set != nullptr && set->isChecked()) {
                    QTest::mouseClick(set, Qt::LeftButton);
                }
                for (const std::string& line : connected ? e.sent : std::vector<std::string>{}) {
                    expected.push_back(line);
                    EXPECT_TRUE(WaitForLine(line));
                }
                EXPECT_EQ(startUp->CurrentWindow(), win);
                EXPECT_TRUE(win->isVisible());
            }
            ASSERT_TRUE(QTest::qWaitFor(quiet, 5000));
            std::vector<std::string> lines = Lines();
            std::erase(lines, "*STB?"); // the status poll
            EXPECT_EQ(lines, expected);
            EXPECT_EQ(win->Module()->IsConnected(), connected);
            for (const Shown& shown : op.Seen()) { // only the sliders' own warning, unconnected
                EXPECT_EQ(shown.upper, QStringLiteral("In local mode , you can not control QMR3400."));
            }
            StopProgram();
        }
    }
}

} // namespace
} // namespace enginetest
