#pragma once
// The manual window: the developer's view of the instrument window. It shows the controls that
// the instrument window keeps hidden: a panel of ready-made command texts (a click puts one in
// the command edit), the command edit with SEND (or Enter) that sends its text unchanged, and
// the log memo of everything sent and received. Its connect sequence ends after the identity
// has been read. "Control" leads back to the last dB or percent window.
//
// GUI thread only.

#include "app/windows/Formapqmr.h"

#include <memory>

class KModuleQmr;
class QWidget;

namespace Ui {
class TFormAppQmrManual;
}

class TFormAppQmrManual : public TFormAppQmr {
    Q_OBJECT

public:
    TFormAppQmrManual(QWidget* owner, KModuleQmr* module);
    ~TFormAppQmrManual() override;

    // No sliders to colour.
    void ShowRemote(bool remote) override;

public slots:
    // "Control": back to the last dB or percent window with the link code.
    void ButtonManualClick() override;

private:
    std::unique_ptr<Ui::TFormAppQmrManual> ui_;
};
