// The page layout from a printer's metrics alone, and the three sounds on a recording tone sink.
#include "bramble/Bramble.h"
#include "bramble/Prnsetup.h"
#include "platform/Tone.h"

#include <QPrinter>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

namespace {

using bramble::LayoutPicture;
using bramble::PictureRect;
using bramble::PrinterMetrics;

struct LayoutCase {
    const char* name;
    PrinterMetrics metrics;
    int width;
    int height;
    int placement;
    PictureRect expected;
};

constexpr PrinterMetrics kA4At600{600, 600, 100, 100, 4960, 7016};
constexpr PrinterMetrics kLandscapeAt600{600, 600, 100, 100, 7016, 4960};

TEST(PrintLayout, PicturesLandWhereTheMetricsPutThem)
{
    const LayoutCase cases[] = {
        {"worked example, top", kA4At600, 800, 600, 0, {1084, 272, 2591, 1943}},
        {"worked example, centre", kA4At600, 800, 600, 1, {1084, 2436, 2591, 1943}},
        {"worked example, bottom", kA4At600, 800, 600, 2, {1084, 4600, 2591, 1943}},
        {"landscape takes the whole height", kLandscapeAt600, 800, 600, 2, {597, 272, 5620, 4215}},
        {"wide window shrinks to the width", kA4At600, 3000, 300, 0, {272, 272, 4215, 421}},
        {"small window grows to the height", kA4At600, 100, 50, 1, {436, 2436, 3887, 1943}},
        {"offsets past the margin leave none", {600, 600, 300, 300, 4960, 7016}, 800, 600, 0, {854, 0, 2651, 1988}},
        {"unknown placement is centred", kA4At600, 800, 600, 7, {1084, 2436, 2591, 1943}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureRect r = LayoutPicture(c.metrics, c.width, c.height, c.placement);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.width, c.expected.width);
        EXPECT_EQ(r.height, c.expected.height);
    }
}

TEST(PrintLayout, MetricsComeFromResolutionAndPageLayout)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 24, 12, 24)));
    const PrinterMetrics m = bramble::MetricsOf(printer);
    EXPECT_EQ(m.logPixelsX, 1200);
    EXPECT_EQ(m.logPixelsY, 1200);
    // 12 pt and 24 pt at 1200 dots per inch; A4 is 842 x 595 pt across.
    EXPECT_EQ(m.physicalOffsetX, 200);
    EXPECT_EQ(m.physicalOffsetY, 400);
    EXPECT_NEAR(m.physicalWidth, 842 * 1200 / 72, 1);
    EXPECT_NEAR(m.physicalHeight, 595 * 1200 / 72, 1);
}

using Tones = std::vector<std::pair<unsigned, unsigned>>;

// Records every tone and then plays it on the device (silence here), so that calls last as
// long as on a machine with sound.
class RecordingSink : public qmr::platform::ToneSink {
public:
    void Play(unsigned frequencyHz, unsigned durationMs) override
    {
        {
            std::lock_guard lock(mutex_);
            tones_.emplace_back(frequencyHz, durationMs);
        }
        qmr::platform::DeviceToneSink().Play(frequencyHz, durationMs);
    }
    Tones Take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(tones_, {});
    }

private:
    std::mutex mutex_;
    Tones tones_;
};

TEST(Beeps, EachSoundPlaysItsTonesWhileTheSwitchIsOne)
{
    RecordingSink sink;
    qmr::platform::ToneSink* before = qmr::platform::SetToneSink(&sink);
    const Tones error{{1000, 50}, {30000, 50}, {400, 150}};
    const Tones ok{{2000, 50}};
    const Tones alarm{{2000, 50}, {30000, 50}, {2000, 50}};
    struct Sound {
        void (*play)();
        const Tones* tones;
    };
    const Sound sounds[] = {{_ErBeep, &error}, {_OkBeep, &ok}, {_AlBeep, &alarm}};
    // The state at load plays; 0 and 2 silence; 1 restores.
    for (int on : {-1, 0, 2, 1}) {
        if (on >= 0) {
            EXPECT_EQ(_EnbBeep(static_cast<unsigned char>(on)), on);
        }
        const bool sounding = on != 0 && on != 2;
        for (const Sound& sound : sounds) {
            SCOPED_TRACE(testing::Message() << "switch " << on << ", " << sound.tones->size() << " tones");
            unsigned total = 0;
            for (const auto& tone : *sound.tones) {
                total += tone.second;
            }
            const auto start = std::chrono::steady_clock::now();
            sound.play();
            const auto took =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            EXPECT_EQ(sink.Take(), sounding ? *sound.tones : Tones{});
            if (sounding) {
                EXPECT_GE(took.count(), total);
                EXPECT_LT(took.count(), total + 200);
            } else {
                EXPECT_LT(took.count(), 20);
            }
        }
    }
    qmr::platform::SetToneSink(before);
}

} // namespace
