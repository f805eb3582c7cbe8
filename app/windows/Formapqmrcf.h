#pragma once
// The instrument settings window: the instrument window's link controls with, in place of
// sliders, a panel for the instrument's own settings (display brightness, backlight auto-off,
// touch sound, network address), read from and written to the instrument by its settings
// module. Opened by a control window's Configure; its "Control" goes back to the last control
// window, which reconnects over the open link.
//
// GUI thread only, except PostListenedReply, which queues its work.

#include "app/instrument/Kmdlcnf.h"
#include "app/windows/Formapqmr.h"

#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace Ui {
class TFormAppQmrConfig;
}

class TFormAppQmrConfig : public TFormAppQmr, public KQmrConfigView {
    Q_OBJECT

public:
    TFormAppQmrConfig(QWidget* owner, KModuleQmrConfig* module);
    ~TFormAppQmrConfig() override;

    // No sliders to colour.
    void ShowRemote(bool remote) override;
    // Read or write now when the module is free; while a function runs or a reply is awaited
    // (a status poll, for one) the request waits and starts once the module is free. Nothing
    // while a read or write runs.
    void ReadSettings() override;
    void WriteSettings();
    // A waiting read or write is dropped (link closed, local, window closing).
    void DropPendingValues() override;

    // The settings module's view of the window.
    void PostListenedReply(const std::string& reply) override;
    void StopReplyTimer() override;
    QString EditText(KConfigEdit edit) const override;
    void SetEditText(KConfigEdit edit, const QString& text) override;
    void SetIpEditable(bool on) override;
    bool IsChecked(KConfigCheck check) const override;
    void SetChecked(KConfigCheck check, bool on) override;

    // The module while the window holds it; none once the window has closed.
    KModuleQmrConfig* ConfigModule() const;

    QAction* ActionRead = nullptr;
    QAction* ActionWrite = nullptr;

public slots:
    void ActionReadExecute();
    void ActionWriteExecute();
    void CheckBoxDhcpClick();
    void ActionConfigExecute() override;

protected:
    void UpdateActions() override;
    void ActionReadUpdate();

private:
    enum class Sequence { None, Read, Write };

    // Starts the sequence now when the module is free, else lets it wait.
    void RequestSequence(Sequence sequence);
    // Retry timer: the waiting sequence started once the module is free, dropped without link.
    void StartWaiting();
    QLineEdit* Edit(KConfigEdit edit) const;
    QCheckBox* Check(KConfigCheck check) const;

    std::unique_ptr<Ui::TFormAppQmrConfig> ui_;
    Sequence waiting_ = Sequence::None;
    QTimer* timerWait_ = nullptr;
};

// The one settings window while it exists.
extern TFormAppQmrConfig* FormAppQmrConfig;
