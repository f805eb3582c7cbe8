#pragma once
// The settings window's command module: reads and writes four of the instrument's own
// settings (display brightness, backlight auto-off, touch sound, network address) in short
// fixed sequences, one command per reply. The replies of those sequences await no command
// state of the device: the module hears them as the communication module's raw-text listener
// and steps its sequences from there. So a sequence starts only while no function runs and no
// reply is awaited, and the listener takes only replies that came while the device awaited
// none: every reply belongs to one sequence. It connects like the other modules, but starts
// with the identity ("*IDN?", no mode check) and reads all settings once the instrument is
// remote.
//
// ReceiveData runs on the communication thread and only hands a copy of the reply to the GUI
// thread, where everything else runs: the steps, the window's controls and every send.

#include "app/instrument/Kmdlqmr.h"

#include <QString>

#include <cstdint>
#include <string>

// The settings window's edits and check boxes as the module reads and writes them.
enum class KConfigEdit { Brightness, AutoOff, Ip, No };
enum class KConfigCheck { Sound, Dhcp };

// What the module needs of the settings window beyond the instrument window's view.
class KQmrConfigView {
public:
    virtual ~KQmrConfigView() = default;

    // Any thread. Queues the reply for the module's TakeListenedReply on the GUI thread, in
    // reply order and behind the work already queued for earlier replies.
    virtual void PostListenedReply(const std::string& reply) = 0;
    // The reply time-out stopped; its marker is left as it is.
    virtual void StopReplyTimer() = 0;

    virtual QString EditText(KConfigEdit edit) const = 0;
    virtual void SetEditText(KConfigEdit edit, const QString& text) = 0;
    virtual void SetIpEditable(bool on) = 0;
    virtual bool IsChecked(KConfigCheck check) const = 0;
    virtual void SetChecked(KConfigCheck check, bool on) = 0;
};

// The values to write, as last taken from the window.
struct KConfigSettings {
    uint8_t brightness = 0; // percent
    uint8_t autoOff = 0;    // minutes, 0 = always on
    uint8_t touchSound = 0; // 1 on
    char ipAddress[16] = {};
    uint8_t autoIp = 0; // 1: the instrument takes its address automatically
};

class KModuleQmrConfig : public KModuleQmr {
public:
    static constexpr int kReadSteps = 5;
    static constexpr int kWriteSteps = 4;
    // What an edit that holds no integer writes.
    static constexpr int kDefaultBrightness = 80;
    static constexpr int kDefaultAutoOff = 10;
    // A read reply of this value leaves its edit as it was.
    static constexpr long kNoValue = -999;

    KModuleQmrConfig();
    // Stops being a receiver (current module and raw-text listener) before anything else.
    ~KModuleQmrConfig() override;

    void SetForm(TFormApp* form) override;
    // Communication thread: every reply, once the module listens.
    void ReceiveData(char* text, int* count) override;
    // Connect sequence start: "*IDN?" first, no mode check, no busy lamp.
    bool ToRemote() override;
    // Both sequences stopped and the busy flag cleared when one ran.
    void ResetSequences() override;

    // A read or write may start now: none runs, no function of the module runs and neither
    // the module nor its device is busy (no reply is awaited).
    bool CanStartSequence();
    // Both start only when CanStartSequence; false when not, or when the first command could
    // not be sent.
    bool StartRead();
    bool StartWrite();
    bool IsSequenceRunning() const { return readStep_ >= 0 || writeStep_ >= 0; }
    // The settings block from the window.
    void FromForm();
    // Send the current step's command, or finish; true when a command went out.
    bool ReadStep();
    bool WriteStep();
    void OnReadReply(const std::string& text);
    void OnWriteReply(const std::string& text);
    // GUI thread: one reply heard as listener.
    void TakeListenedReply(const std::string& reply);

    // The write command of a step (0 to 3) for the block as it stands.
    std::string WriteCommand(int step) const;

    int GetReadStep() const { return readStep_; }
    int GetWriteStep() const { return writeStep_; }
    const KConfigSettings& Settings() const { return settings_; }

private:
    // Registers as the communication module's raw-text listener.
    void Listen();
    bool SendStep(const std::string& command);

    KQmrConfigView* configView_ = nullptr;
    int32_t writeStep_ = -1; // GUI thread
    int32_t readStep_ = -1;  // GUI thread
    KConfigSettings settings_;
};
