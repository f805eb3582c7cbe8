#pragma once
// The modal "Com Settings" window: USB (a COM port number, with the port picker) or LAN (a
// network address, with the reachability check). It edits a copy of the communication
// settings block and hands it back only when closed with OK. GUI thread only.

#include "app/core/Appdefine.h"
#include "app/core/Formapp.h"

#include <memory>

class KModule;
class QEvent;
class QObject;

namespace Ui {
class TFormComSet;
}

class TFormComSet : public TFormApp {
    Q_OBJECT

public:
    // owner: none in this program. The module is bound to the window but not deleted by it.
    TFormComSet(QWidget* owner, const ComSettings& settings, KModule* module);
    ~TFormComSet() override;

    // The working copy: the caller's block until OK saved the controls into it.
    const ComSettings& GetSettings() const { return settings_; }

    // This window neither restores nor stores a position: its own handlers replace the base's.
    void FormShow() override;
    void FormClose() override;
    void Notify() override;

    void LoadControls();
    void SaveControls();
    void SetUsbLook();
    void SetLanLook();
    // Runs the port picker: the chosen number (also put into EditComPort), or -1.
    int SelectComPort(int current);

public slots:
    void Panel232Click();
    void RadioButtonRs232cClick();
    void PanelTcpClick();
    void RadioButtonTcpipClick();
    void ButtonSelectComClick();
    void ButtonCheckClick();
    void ButtonOKClick();
    void ButtonCancelClick();

protected:
    // Clicks on the two panels.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TFormComSet> ui_;
    ComSettings settings_;
};

// Shows the window on `settings` (in/out): true when it was closed with OK and the block was
// updated; false, with the block untouched, otherwise.
bool ShowComSetDialog(ComSettings* settings);
