#include "Tone.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace qmr::platform {

namespace {

constexpr unsigned kSampleRate = 48000;
// Tones outside what a speaker can give (the error and alarm sounds use 30000 Hz as a pause)
// are played as silence rather than folded back into the audible range by the sample rate.
constexpr unsigned kLowestTone = 37;
constexpr unsigned kHighestTone = 20000;
constexpr double kAmplitude = 0.25 * 32767;

// ALSA prints its own complaints when no card exists; the silent fallback is the answer.
void QuietAlsa(const char*, int, const char*, int, const char*, ...)
{
}

class AlsaToneSink final : public ToneSink {
public:
    void Play(unsigned frequencyHz, unsigned durationMs) override
    {
        // One tone at a time: the device is opened for each and drained before the next.
        std::lock_guard lock(mutex_);
        if (!PlayOnDevice(frequencyHz, durationMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
        }
    }

private:
    bool PlayOnDevice(unsigned frequencyHz, unsigned durationMs)
    {
        if (noDevice_) {
            return false;
        }
        snd_lib_error_set_handler(QuietAlsa);
        snd_pcm_t* pcm = nullptr;
        // Opened without waiting: a device held by another program is not waited for, the
        // tone passes in silence instead.
        const int opened = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (opened < 0) {
            // A machine without a sound device does not grow one while we run.
            noDevice_ = opened != -EBUSY && opened != -EAGAIN;
            return false;
        }
        bool played =
            snd_pcm_nonblock(pcm, 0) >= 0 &&
            snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate, 1, 50000) >= 0;
        if (played) {
            std::vector<short> samples(static_cast<size_t>(kSampleRate) * durationMs / 1000);
            if (frequencyHz >= kLowestTone && frequencyHz <= kHighestTone) {
                const double step = 2.0 * std::numbers::pi * frequencyHz / kSampleRate;
                for (size_t i = 0; i < samples.size(); ++i) {
                    samples[i] = static_cast<short>(kAmplitude * std::sin(step * static_cast<double>(i)));
                }
            }
            size_t done = 0;
            while (played && done < samples.size()) {
                snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
                if (n < 0) {
                    n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
                    played = n >= 0;
                } else {
                    done += static_cast<size_t>(n);
                }
            }
            // Returns once the last sample has been played.
            played = played && snd_pcm_drain(pcm) >= 0;
        }
        snd_pcm_close(pcm);
        return played;
    }

    std::mutex mutex_;
    bool noDevice_ = false;
};

std::atomic<ToneSink*> currentSink{nullptr};

} // namespace

ToneSink& DeviceToneSink()
{
    static AlsaToneSink sink;
    return sink;
}

void PlayTone(unsigned frequencyHz, unsigned durationMs)
{
    ToneSink* sink = currentSink.load();
    (sink != nullptr ? *sink : DeviceToneSink()).Play(frequencyHz, durationMs);
}

ToneSink* SetToneSink(ToneSink* sink)
{
    return currentSink.exchange(sink);
}

} // namespace qmr::platform
