// The slider value models: text forms, parsing of typed text, limits, steps and their log,
// snapping, and what they show on a real frame (edit, thumb, range texts and range bar).
#include "app/windows/Framemod.h"
#include "app/windows/Framslid.h"
#include "bramble/Bramble.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>
#include <QToolButton>

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

namespace {

// A model bound to a frame of its own, without a command module.
template <class Model>
struct Bound {
    Bound()
    {
        model.SetFrame(&frame);
        frame.SetModel(&model);
    }
    TFrameSlider frame;
    Model model;
};

struct TextCase {
    bool frequency;
    int value;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << (c.frequency ? "frequency_" : "tenths_") << (c.value < 0 ? "minus" : "") << std::abs(c.value);
}

class ValueToTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ValueToTextTest, FormatsWithFixedDecimals)
{
    const TextCase& c = GetParam();
    KFrameModulePP level;
    KFrameModuleFRQ frequency;
    const KFrameModule& model = c.frequency ? static_cast<KFrameModule&>(frequency) : level;
    EXPECT_EQ(model.ValueToText(static_cast<int16_t>(c.value)).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Texts, ValueToTextTest,
                         ::testing::Values(TextCase{false, 5, "0.5"}, TextCase{false, 1000, "100.0"},
                                           TextCase{false, -5, "-0.5"}, TextCase{false, 0, "0.0"},
                                           TextCase{false, 505, "50.5"}, TextCase{false, -32768, "-3276.8"},
                                           TextCase{true, 10, "0.10"}, TextCase{true, 4000, "40.00"},
                                           TextCase{true, 1234, "12.34"}, TextCase{true, -5, "-0.05"},
                                           TextCase{true, 7, "0.07"}));

struct ParseCase {
    const char* text;
    int level; // also the loss
    int frequency;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    for (const char* p = c.text; *p != 0; ++p) {
        *os << (std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
    }
    *os << "_gives_" << (c.level < 0 ? "minus" : "") << std::abs(static_cast<long long>(c.level));
}

class TextToValueTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TextToValueTest, ReadsTheLeadingNumber)
{
    const ParseCase& c = GetParam();
    KFrameModulePP level;
    KFrameModuleDB loss;
    KFrameModuleFRQ frequency;
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(level.TextToValue(text), c.level) << c.text;
    EXPECT_EQ(loss.TextToValue(text), c.level) << c.text;
    EXPECT_EQ(frequency.TextToValue(text), c.frequency) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Texts, TextToValueTest,
                         ::testing::Values(ParseCase{"12.34", 123, 1234}, ParseCase{"-0.04", 0, -3},
                                           ParseCase{"", 0, 0}, ParseCase{"abc", 0, 0}, ParseCase{"  7.5xyz", 75, 750},
                                           ParseCase{"+2.5", 25, 250}, ParseCase{".5", 5, 50}, ParseCase{"5.", 50, 500},
                                           ParseCase{"3e2", 3000, 30000}, ParseCase{"1e", 10, 100},
                                           ParseCase{"1,5", 10, 100}, ParseCase{"-", 0, 0}, ParseCase{".", 0, 0},
                                           ParseCase{"nan", 0, 0}, ParseCase{"NaN", 0, 0}, ParseCase{"inf", 0, 0},
                                           ParseCase{"0x10", 0, 0}, ParseCase{"1e400", INT_MAX, INT_MAX},
                                           ParseCase{"-1e400", INT_MIN, INT_MIN}, ParseCase{"1e-400", 0, 0},
                                           ParseCase{"99999999999", INT_MAX, INT_MAX},
                                           ParseCase{"-99999999999", INT_MIN, INT_MIN}));

// A comma locale changes neither the written nor the read decimal point.
TEST(ModelLocaleTest, TextsIgnoreTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // The C library's locale too, where the German one is installed.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    KFrameModulePP level;
    KFrameModuleFRQ frequency;
    EXPECT_EQ(level.ValueToText(505), QStringLiteral("50.5"));
    EXPECT_EQ(frequency.ValueToText(1234), QStringLiteral("12.34"));
    EXPECT_EQ(level.TextToValue(QStringLiteral("50.5")), 505);
    EXPECT_EQ(level.TextToValue(QStringLiteral("50,5")), 500);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
}

TEST(ModelClampTest, LimitsToTheNearerBound)
{
    KFrameModulePP level;
    KFrameModuleFRQ frequency;
    EXPECT_EQ(level.Clamp(1001), 1000);
    EXPECT_EQ(level.Clamp(-1), 0);
    EXPECT_EQ(level.Clamp(500), 500);
    EXPECT_EQ(frequency.Clamp(5), 10);
    EXPECT_EQ(frequency.Clamp(4001), 4000);
    // 4000 typed in the level model is 40000 tenths, limited to 1000.
    const int typed = level.TextToValue(QStringLiteral("4000"));
    EXPECT_EQ(typed, 40000);
    EXPECT_EQ(level.Clamp(typed), 1000);
    EXPECT_EQ(level.Clamp(INT_MAX), 1000);
    EXPECT_EQ(level.Clamp(static_cast<long long>(INT_MIN) - 1000), 0);
}

TEST(ModelStepTest, StepUpAtTheTopLogsTheUnlimitedValue)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_EQ(_StartLog(0, 0), 1);
    Bound<KFrameModulePP> b;
    b.model.SetValue(950);
    b.frame.SetStepButtonDown(2); // D3: 100 units
    EXPECT_EQ(b.model.StepUpOnce(), 1000);
    EXPECT_EQ(b.model.GetValue(), 1000);
    EXPECT_EQ(b.frame.EditNum->text(), QStringLiteral("100.0"));
    EXPECT_EQ(b.frame.TrackBar->value(), 1000);
    _EndLog();
    EXPECT_TRUE(linktest::LogHas("UP", "<1050>")) << "no UP line with 1050";
}

TEST(ModelStepTest, StepDownStopsAtTheMinimumWithoutLog)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_EQ(_StartLog(0, 0), 1);
    Bound<KFrameModuleFRQ> b;
    b.model.SetValue(500);
    b.frame.SetStepButtonDown(3); // D4: 10.00 GHz
    EXPECT_EQ(b.model.StepDownOnce(), 10);
    EXPECT_EQ(b.frame.EditNum->text(), QStringLiteral("0.10"));
    _EndLog();
    EXPECT_FALSE(linktest::LogHas("UP", "<-500>"));
}

struct StepCase {
    int button; // -1 none
    bool shift;
    bool ctrl;
    int step;
};

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << "D" << c.button + 1 << (c.shift ? "_shift" : "") << (c.ctrl ? "_ctrl" : "") << "_" << c.step;
}

class CurrentStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(CurrentStepTest, ButtonsThenEditModifiers)
{
    const StepCase& c = GetParam();
    Bound<KFrameModulePP> b;
    b.frame.SetStepButtonDown(c.button);
    b.model.SetEditShift(c.shift);
    b.model.SetEditCtrl(c.ctrl);
    EXPECT_EQ(b.model.CurrentStep(), c.step);
    // One step up from 0 is the same step (the maximum is 1000).
    b.model.SetValue(0);
    EXPECT_EQ(b.model.StepUpOnce(), c.step);
}

INSTANTIATE_TEST_SUITE_P(Steps, CurrentStepTest,
                         ::testing::Values(StepCase{0, false, false, 1}, StepCase{1, false, false, 10},
                                           StepCase{2, false, false, 100}, StepCase{3, false, false, 1000},
                                           StepCase{0, true, true, 1}, StepCase{1, true, false, 10},
                                           StepCase{-1, false, false, 1}, StepCase{-1, true, false, 10},
                                           StepCase{-1, false, true, 100}, StepCase{-1, true, true, 1000}));

TEST(ModelRoundTest, RoundsToTheStepHalvesUp)
{
    Bound<KFrameModulePP> b;
    b.frame.SetStepButtonDown(2);
    EXPECT_EQ(b.model.RoundToStep(234), 200);
    EXPECT_EQ(b.model.RoundToStep(250), 300);
    EXPECT_EQ(b.model.RoundToStep(249), 200);
    b.frame.SetStepButtonDown(0);
    EXPECT_EQ(b.model.RoundToStep(234), 234);
    b.frame.SetStepButtonDown(-1);
    EXPECT_EQ(b.model.RoundToStep(234), 234);
    b.model.SetEditShift(true);
    EXPECT_EQ(b.model.RoundToStep(234), 230);
    EXPECT_EQ(b.model.RoundToStep(235), 240);
}

TEST(ModelStepButtonsTest, AtMostOneDownAndTheDownOneReleases)
{
    TFrameSlider frame;
    frame.show();
    frame.SpeedButtonD2->click();
    EXPECT_EQ(frame.StepButtonDown(), 1);
    frame.SpeedButtonD3->click();
    EXPECT_EQ(frame.StepButtonDown(), 2);
    EXPECT_FALSE(frame.SpeedButtonD2->isChecked());
    frame.SpeedButtonD3->click();
    EXPECT_EQ(frame.StepButtonDown(), -1);
}

TEST(ModelLossTest, RangeBarFollowsTheRange)
{
    Bound<KFrameModuleDB> b;
    b.frame.TrackBar->setRange(0, 700);
    b.model.SetRange(300, 100);
    EXPECT_EQ(b.frame.ShapeRange->x(), 123);
    EXPECT_EQ(b.frame.ShapeRange->width(), 96);
    EXPECT_EQ(b.model.BarPixels(100), 47);
    EXPECT_EQ(b.model.BarPixels(300), 142);
    b.model.SetRange(700, 0);
    EXPECT_EQ(b.frame.ShapeRange->x(), 76);
    EXPECT_EQ(b.frame.ShapeRange->width(), 332);
    b.model.SetRange(800, -5);
    EXPECT_EQ(b.model.GetMaximum(), 700);
    EXPECT_EQ(b.model.GetMinimum(), 0);
}

TEST(ModelLossTest, SetRangeMovesTheThumbButKeepsTheValue)
{
    Bound<KFrameModuleDB> b;
    b.frame.TrackBar->setRange(0, 700);
    b.model.SetValue(500);
    b.model.SetRange(300, 100);
    EXPECT_EQ(b.model.GetValue(), 500);
    EXPECT_EQ(b.frame.TrackBar->value(), 300);
    // The dB track bar keeps its own limits.
    EXPECT_EQ(b.frame.TrackBar->maximum(), 700);
    EXPECT_EQ(b.frame.TrackBar->minimum(), 0);
}

TEST(ModelLossTest, ValueAboveTheMaximumIsShownAsReported)
{
    Bound<KFrameModuleDB> b;
    b.frame.TrackBar->setRange(0, 700);
    b.model.SetValue(750);
    EXPECT_EQ(b.frame.EditNum->text(), QStringLiteral("75.0"));
    EXPECT_EQ(b.model.GetValue(), 700);
    EXPECT_EQ(b.frame.TrackBar->value(), 700);
}

TEST(ModelLossTest, ShowRangeWritesBothPairsAndShowsTheBar)
{
    Bound<KFrameModuleDB> b;
    b.model.SetRange(300, 100);
    b.model.ShowRange();
    EXPECT_EQ(b.frame.StaticTextMax->text(), QStringLiteral("70.0"));
    EXPECT_EQ(b.frame.StaticTextMin->text(), QStringLiteral("0.0"));
    EXPECT_EQ(b.frame.StaticTextMax2->text(), QStringLiteral("30.0"));
    EXPECT_EQ(b.frame.StaticTextMin2->text(), QStringLiteral("10.0"));
    EXPECT_EQ(sliderlook::Colour(b.frame.StaticTextMax2), sliderlook::kGreen);
    EXPECT_EQ(sliderlook::Colour(b.frame.StaticTextMin2), sliderlook::kGreen);
    EXPECT_FALSE(b.frame.ShapeRange->isHidden());
}

TEST(ModelFrequencyTest, ShowRangeAndThumbLimits)
{
    Bound<KFrameModuleFRQ> b;
    b.model.ShowRange();
    EXPECT_EQ(b.frame.StaticTextMax->text(), QStringLiteral("40.00"));
    EXPECT_EQ(b.frame.StaticTextMin->text(), QStringLiteral("0.10"));
    // The thumb takes the model's limits the first time it shows a value.
    b.model.SetValue(1234);
    EXPECT_EQ(b.frame.TrackBar->maximum(), 4000);
    EXPECT_EQ(b.frame.TrackBar->minimum(), 10);
    EXPECT_EQ(b.frame.TrackBar->value(), 1234);
    EXPECT_FALSE(b.model.IsGuarded());
}

TEST(ModelLevelTest, WithoutModuleNothingIsSentOrBusy)
{
    KFrameModulePP level;
    KFrameModuleDB loss;
    KFrameModuleFRQ frequency;
    EXPECT_FALSE(level.SendValue(100));
    EXPECT_FALSE(loss.SendValue(100));
    EXPECT_FALSE(frequency.SendValue(100));
    EXPECT_FALSE(level.IsBusy());
    EXPECT_FALSE(level.IsConnected());
}

} // namespace
