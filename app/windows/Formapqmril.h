#pragma once
// The dB window: the instrument window with the insertion-loss slider and the frequency
// slider, and their models. One slider is active at a time: the loss slider, or while the
// "Frequency SET" button is down the frequency slider, whose gestures send nothing. Ending
// the frequency editing sends the frequency; the loss range that the instrument reports for
// it then limits the loss slider.
//
// GUI thread only.

#include "app/windows/Formapqmr.h"

#include <memory>

class KFrameModuleDB;
class KFrameModuleFRQ;
class TFrameSlider;
class TFrameSliderFrq;
class QLabel;
class QToolButton;
class QWidget;

namespace Ui {
class TFormAppQmrIL;
}

class TFormAppQmrIL : public TFormAppQmr {
    Q_OBJECT

public:
    static constexpr int kAreaLeft = 54;
    static constexpr int kAreaTop = 222;

    TFormAppQmrIL(QWidget* owner, KModuleQmr* module);
    ~TFormAppQmrIL() override;

    void SetRange(int16_t max, int16_t min) override;
    void ShowValue(int16_t value) override;
    void ShowFrequency(int16_t value) override;
    void ShowRemote(bool remote) override;
    void EnableSlider(bool on) override;
    void SetFrequencyEditing(bool on) override;
    void ReleaseFrequencySet() override;
    void DropPendingValues() override;
    bool CreateModels() override;

    void FormShow() override;
    void FormClose() override;

    TFrameSlider* FrameSliderIL = nullptr;
    TFrameSliderFrq* FrameSliderFrq = nullptr;
    QToolButton* SpeedButtonSet = nullptr;
    QLabel* LabelMemori = nullptr;
    KFrameModuleFRQ* FrequencyModel() const { return frequencyModel_.get(); }
    KFrameModuleDB* LossModel() const { return lossModel_.get(); }

public slots:
    void ActionDBExecute() override;

protected:
    void ActionDBUpdate() override;
    // Frequency SET pressed: editing on when the button was up, off when it was down.
    void SpeedButtonSetMouseDown();
    // Frequency SET has changed its state, by the mouse or by a key: the editing follows it.
    void FrequencySetChanged();
    // Only while the developer controls are offered ("/A"): toggles Frequency SET.
    void FormDblClick();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The looks of the active or the inactive slider.
    void ColourSlider(TFrameSlider* frame, bool active);

    std::unique_ptr<Ui::TFormAppQmrIL> ui_;
    QWidget* area_ = nullptr;
    std::unique_ptr<KFrameModuleFRQ> frequencyModel_;
    std::unique_ptr<KFrameModuleDB> lossModel_;
};
