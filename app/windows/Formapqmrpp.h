#pragma once
// The percent window: the instrument window with one level slider (0.0 to 100.0 %) and its
// level model. Every level the operator sets goes out at once through the slider. The mode
// button changes the instrument to dB mode (link open) or switches to the dB window.
//
// GUI thread only.

#include "app/windows/Formapqmr.h"

#include <memory>

class KFrameModulePP;
class TFrameSliderPp;
class QLabel;
class QWidget;

namespace Ui {
class TFormAppQmrPp;
}

class TFormAppQmrPp : public TFormAppQmr {
    Q_OBJECT

public:
    // The left of the slider area in the window and its top.
    static constexpr int kAreaLeft = 54;
    static constexpr int kAreaTop = 240;

    TFormAppQmrPp(QWidget* owner, KModuleQmr* module);
    ~TFormAppQmrPp() override;

    void ShowValue(int16_t value) override;
    void ShowRemote(bool remote) override;
    void EnableSlider(bool on) override;
    void DropPendingValues() override;
    bool CreateModels() override;

    void FormShow() override;
    void FormClose() override;

    TFrameSliderPp* FrameSliderPp = nullptr;
    QLabel* LabelMemori = nullptr;
    KFrameModulePP* LevelModel() const { return levelModel_.get(); }

public slots:
    void ActionDBExecute() override;

protected:
    void ActionDBUpdate() override;

private:
    std::unique_ptr<Ui::TFormAppQmrPp> ui_;
    QWidget* area_ = nullptr;
    std::unique_ptr<KFrameModulePP> levelModel_;
};
