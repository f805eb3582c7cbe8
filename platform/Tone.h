#pragma once
// The tone generator: plays one tone of a frequency and a duration and returns when it has
// ended. The sound device plays it where there is one; otherwise the duration passes in
// silence, so that a caller's timing is the same on every machine.

namespace qmr::platform {

// Where tones go. The default plays them; tests put a recording sink in its place.
class ToneSink {
public:
    virtual ~ToneSink() = default;
    // Returns when the tone has ended.
    virtual void Play(unsigned frequencyHz, unsigned durationMs) = 0;
};

// Plays one tone through the current sink. Callable from any thread.
void PlayTone(unsigned frequencyHz, unsigned durationMs);

// The sink that plays through the sound device (or waits in silence without one).
ToneSink& DeviceToneSink();

// Makes `sink` the current sink (null: the device sink again) and returns the one before.
// The caller keeps the sink alive while it is current.
ToneSink* SetToneSink(ToneSink* sink);

} // namespace qmr::platform
