// The sliders point at their value: on the real windows (offscreen) the thumb's centre for a
// value stands over that value on the scale label, and on the loss slider over the range bar,
// within 2 pixels; the thumb stays clear of the number edit; the scale label shows its whole
// text.
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldfq.h"
#include "app/windows/Frmsldpp.h"

#include "SliderRig.h"
#include "Thumb.h"
#include "WindowRig.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

namespace {

struct ScaleCase {
    const char* name;
    int kind;         // the window's module kind
    bool frequency;   // the dB window's frequency slider, else its first slider
    int unitsPerMark; // units of the value for one unit of the scale's numbers
    std::vector<int> values;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.name;
}

// The scale's numbers as (value, centre in the window).
std::vector<std::pair<int, double>> Marks(const QLabel* label, const QWidget* window, int unitsPerMark)
{
    const QFontMetricsF metrics(label->font());
    const QString text = label->text();
    const double left = label->mapTo(window, label->contentsRect().topLeft()).x();
    std::vector<std::pair<int, double>> marks;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("\\d+")).globalMatch(text)) {
        const double start = left + metrics.horizontalAdvance(text.left(m.capturedStart()));
        marks.emplace_back(m.captured().toInt() * unitsPerMark, start + metrics.horizontalAdvance(m.captured()) / 2);
    }
    return marks;
}

// Where the scale puts a value: over its number, where it has one; else on the straight line
// that fits its numbers best.
double ScaleAt(const std::vector<std::pair<int, double>>& marks, int value)
{
    double sv = 0;
    double sx = 0;
    for (const auto& [v, x] : marks) {
        if (v == value) {
            return x;
        }
        sv += v;
        sx += x;
    }
    const double n = static_cast<double>(marks.size());
    double svv = 0;
    double svx = 0;
    for (const auto& [v, x] : marks) {
        svv += (v - sv / n) * (v - sv / n);
        svx += (v - sv / n) * (x - sx / n);
    }
    return sx / n + svx / svv * (value - sv / n);
}

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, ThumbStandsOverItsValue)
{
    const ScaleCase& c = GetParam();
    slidertest::Link link(c.kind);
    slidertest::SwitchRecorder owner;
    std::unique_ptr<TFormAppQmr> window;
    TFrameSlider* frame = nullptr;
    if (c.kind == kKindIL) {
        auto* db = new TFormAppQmrIL(&owner, link.TakeModule());
        window.reset(db);
        frame = c.frequency ? static_cast<TFrameSlider*>(db->FrameSliderFrq) : db->FrameSliderIL;
    } else {
        auto* percent = new TFormAppQmrPp(&owner, link.TakeModule());
        window.reset(percent);
        frame = percent->FrameSliderPp;
    }
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    const QLabel* scale = frame->LabelMemori;
    EXPECT_LE(QFontMetricsF(scale->font()).horizontalAdvance(scale->text()), scale->contentsRect().width());
    const auto marks = Marks(scale, window.get(), c.unitsPerMark);
    ASSERT_GE(marks.size(), 3u);
    auto* loss = dynamic_cast<KFrameModuleDB*>(frame->GetModel());
    QSlider* track = frame->TrackBar;
    for (int value : c.values) {
        SCOPED_TRACE(value);
        frame->ShowModelValue(static_cast<int16_t>(value));
        ASSERT_EQ(track->value(), value);
        const int thumb = track->mapTo(window.get(), slidertest::ThumbCentre(track)).x();
        EXPECT_NEAR(thumb, ScaleAt(marks, value), 2.0);
        if (loss != nullptr) {
            const QPoint bar(KFrameModuleDB::kBarLeft + loss->BarPixels(static_cast<int16_t>(value)), 0);
            EXPECT_NEAR(thumb, frame->PanelBack->mapTo(window.get(), bar).x(), 2.0);
        }
    }
    // At the maximum the thumb ends left of the number edit.
    frame->ShowModelValue(static_cast<int16_t>(track->maximum()));
    const int thumbRight = track->mapTo(window.get(), slidertest::ThumbRect(track).topRight()).x();
    EXPECT_LT(thumbRight, frame->EditNum->mapTo(window.get(), QPoint(0, 0)).x());
}

INSTANTIATE_TEST_SUITE_P(
    Sliders, ScaleTest,
    ::testing::Values(ScaleCase{"loss", kKindIL, false, 10, {0, 55, 100, 123, 300, 355, 594, 600, 700}},
                      ScaleCase{"level", kKindPP, false, 10, {0, 55, 100, 333, 500, 600, 700, 999, 1000}},
                      ScaleCase{"frequency", kKindIL, true, 100, {10, 555, 1000, 1234, 2000, 2500, 3000, 3333, 4000}}));

} // namespace
