// The page layout from a printer's metrics alone, and the three sounds on a recording sink.
#include "bramble/Bramble.h"
#include "bramble/Prnsetup.h"
#include "platform/Tone.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

namespace {

using bramble::PictureRect;
using bramble::PrinterMetrics;

TEST(PrintLayout, PicturesLandWhereTheMetricsPutThem)
{
    constexpr PrinterMetrics a4{600, 600, 100, 100, 4960, 7016};
    const struct {
        const char* name;
        PrinterMetrics metrics;
        int width, height, placement;
        PictureRect expected;
    } cases[] = {
        {"worked example, top", a4, 800, 600, 0, {1084, 272, 2591, 1943}},
        {"worked example, centre", a4, 800, 600, 1, {1084, 2436, 2591, 1943}},
        {"worked example, bottom", a4, 800, 600, 2, {1084, 4600, 2591, 1943}},
        {"landscape: the whole height", {600, 600, 100, 100, 7016, 4960}, 800, 600, 2, {597, 272, 5620, 4215}},
        {"wide window shrinks to the width", a4, 3000, 300, 0, {272, 272, 4215, 421}},
        {"small window grows to the height", a4, 100, 50, 1, {436, 2436, 3887, 1943}},
        {"offsets past the margin", {600, 600, 300, 300, 4960, 7016}, 800, 600, 0, {854, 0, 2651, 1988}},
        {"unknown placement is centred", a4, 800, 600, 7, {1084, 2436, 2591, 1943}},
    };
    for (const auto& c : cases) {
        const PictureRect r = bramble::LayoutPicture(c.metrics, c.width, c.height, c.placement);
        EXPECT_EQ(std::vector({r.left, r.top, r.width, r.height}),
                  std::vector({c.expected.left, c.expected.top, c.expected.width, c.expected.height}))
            << c.name;
    }
}

using Tones = std::vector<std::pair<unsigned, unsigned>>;

// Records each tone, then lets the device play it (silence here), so calls take their time.
class RecordingSink : public qmr::platform::ToneSink {
public:
    void Play(unsigned frequencyHz, unsigned durationMs) override
    {
        tones.emplace_back(frequencyHz, durationMs);
        qmr::platform::DeviceToneSink().Play(frequencyHz, durationMs);
    }
    Tones tones; // the sounds play on the calling thread
};

TEST(Beeps, EachSoundPlaysItsTonesWhileTheSwitchIsOne)
{
    RecordingSink sink;
    qmr::platform::ToneSink* before = qmr::platform::SetToneSink(&sink);
    // The first tone looks for the sound device; the calls are timed without that search.
    qmr::platform::DeviceToneSink().Play(30000, 0);
    const std::pair<void (*)(), Tones> sounds[] = {{_ErBeep, {{1000, 50}, {30000, 50}, {400, 150}}},
                                                   {_OkBeep, {{2000, 50}}},
                                                   {_AlBeep, {{2000, 50}, {30000, 50}, {2000, 50}}}};
    // -1: the state at load; 0 and 2 silence; 1 restores.
    for (int on : {-1, 0, 2, 1}) {
        EXPECT_EQ(on < 0 ? -1 : _EnbBeep(static_cast<unsigned char>(on)), on);
        for (const auto& [play, tones] : sounds) {
            const Tones expected = on == 0 || on == 2 ? Tones{} : tones;
            long total = 0;
            for (const auto& tone : expected) {
                total += tone.second;
            }
            const auto start = std::chrono::steady_clock::now();
            play();
            const auto took = std::chrono::steady_clock::now() - start;
            EXPECT_EQ(std::exchange(sink.tones, {}), expected) << "switch " << on;
            EXPECT_GE(took, std::chrono::milliseconds(total));
            EXPECT_LT(took, std::chrono::milliseconds(total + 200));
        }
    }
    qmr::platform::SetToneSink(before);
}

} // namespace
