#pragma once
// The value models behind the slider frames: each knows one instrument quantity (its limits,
// its integer unit and text form, the step sizes), shows a value in its frame's edit, thumb
// and range texts, and turns a value into the command module's level, loss or frequency
// command. The frame handles the gestures; the model never decides about retries.
//
// Plain objects of the GUI thread. A model neither owns its frame nor its module.

#include <QString>

#include <cstdint>

class KModuleQmr;
class TFrameSlider;

class KFrameModule {
public:
    // Step sizes by step mode 0 to 3 (D1 to D4).
    static constexpr int16_t kStepTable[4] = {1, 10, 100, 1000};

    KFrameModule(int16_t maximum, int16_t minimum);
    virtual ~KFrameModule();
    KFrameModule(const KFrameModule&) = delete;
    KFrameModule& operator=(const KFrameModule&) = delete;

    // The value as text: tenths with one decimal ("0.0"); the frequency kind hundredths with
    // two ("0.00"). Independent of the locale.
    virtual QString ValueToText(int16_t value) const;
    // The number at the start of the text times the unit (10; frequency 100), plus 0.5,
    // truncated toward zero; saturated to int; 0 when the text starts with no number.
    virtual int TextToValue(const QString& text) const;
    // Stores the value within the limits, shows it as given in the edit and limited on the thumb.
    virtual void SetValue(int16_t value);
    virtual void SetRange(int16_t maximum, int16_t minimum);
    // True when the command module sent the value.
    virtual bool SendValue(int16_t value) = 0;
    virtual void StepUp(int16_t count, int mode);
    virtual void StepDown(int16_t count, int mode);
    // Below the minimum gives the minimum, then above the maximum gives the maximum.
    virtual int16_t Clamp(long long value) const;
    // A value was entered in the frame's edit (Enter).
    virtual void OnSet();
    virtual void ShowRange();
    virtual void ShowValue(int16_t value);
    virtual void ShowOnTrackBar(int16_t value);

    void SetTrackBarEnabled(bool on);
    bool IsBusy() const;
    bool IsConnected() const;
    // The step of the frame's D buttons, else 1 times the edit modifiers.
    int16_t CurrentStep() const;
    // To the nearest multiple of the current step (halves upward) when that step is 2 or more.
    int16_t RoundToStep(int16_t value) const;
    int16_t StepUpOnce();
    int16_t StepDownOnce();

    void SetFrame(TFrameSlider* frame) { frame_ = frame; }
    TFrameSlider* GetFrame() const { return frame_; }
    void SetModule(KModuleQmr* module) { module_ = module; }
    KModuleQmr* GetModule() const { return module_; }

    int16_t GetValue() const { return value_; }
    int16_t GetMaximum() const { return maximum_; }
    int16_t GetMinimum() const { return minimum_; }

    // Set while the model moves the frame's thumb (and while a frame's step button sends):
    // the frames ignore track bar changes and the track mouse release meanwhile.
    bool IsGuarded() const { return guard_; }
    // Returns the previous state, for restoring it: guards nest.
    bool SetGuard(bool on)
    {
        const bool was = guard_;
        guard_ = on;
        return was;
    }

    bool GetEditShift() const { return editShift_; }
    bool GetEditCtrl() const { return editCtrl_; }
    void SetEditShift(bool on) { editShift_ = on; }
    void SetEditCtrl(bool on) { editCtrl_ = on; }

    // The step mode (0 to 3) that CurrentStep stands for.
    int CurrentStepMode() const;

protected:
    // The number at the start of the text (sign, digits, point, exponent), 0 when none; may be
    // infinite for a huge text. Never NaN.
    static double LeadingNumber(const QString& text);
    // Truncation toward zero of number x unit + 0.5, saturated to int; NaN gives 0.
    static int ScaledToInt(double number, double unit);
    // Value, range and pen of the thumb; the limits are given too unless keepLimits.
    void MoveThumb(int16_t value, bool keepLimits);

    TFrameSlider* frame_ = nullptr;
    KModuleQmr* module_ = nullptr;
    int16_t absMaximum_ = 0;
    int16_t absMinimum_ = 0;
    int16_t maximum_;
    int16_t minimum_;
    int16_t value_ = 0;
    bool guard_ = false;
    bool editShift_ = false;
    bool editCtrl_ = false;
};

// The level of the percent window: tenths of a percent, 0 to 1000.
class KFrameModulePP : public KFrameModule {
public:
    KFrameModulePP();
    ~KFrameModulePP() override;
    bool SendValue(int16_t value) override;
};

// The frequency of the dB window: hundredths of a GHz, 10 to 4000.
class KFrameModuleFRQ : public KFrameModule {
public:
    KFrameModuleFRQ();
    ~KFrameModuleFRQ() override;
    QString ValueToText(int16_t value) const override;
    int TextToValue(const QString& text) const override;
    bool SendValue(int16_t value) override;
    void OnSet() override;
};

// The insertion loss of the dB window: tenths of a dB, 0 to 700, then within the range that
// the instrument reports for the frequency. Its thumb keeps the track bar's own limits and a
// range bar shows the instrument's range over it.
class KFrameModuleDB : public KFrameModule {
public:
    static constexpr int16_t kBarLeft = 76;
    static constexpr int16_t kBarWidth = 331;

    KFrameModuleDB();
    ~KFrameModuleDB() override;
    void SetRange(int16_t maximum, int16_t minimum) override;
    bool SendValue(int16_t value) override;
    void ShowRange() override;
    void ShowOnTrackBar(int16_t value) override;

    // Pixels of the range bar for a value: round(value x bar width / absolute maximum).
    int16_t BarPixels(int16_t value) const;

private:
    int16_t barLeft_ = kBarLeft;
    int16_t barWidth_ = kBarWidth;
};
