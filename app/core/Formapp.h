#pragma once
// Base window of the instrument windows and of the communication settings window: it knows
// the start-up window, owns one command module, remembers its screen position under its
// caption through Bramble, and hides the start-up window when it shows. GUI thread only.
//
// The form is a QDialog so that a derived window may also run modally (the settings
// window); the instrument windows are shown modeless, and then have no dialog keys: no
// default button takes Enter and Escape closes nothing. The start-up window is not made the
// Qt parent: a parent would keep the windows on top of, and hidden with, the splash.

#include <QDialog>
#include <QPointer>

#include <memory>

class KModule;
class QCloseEvent;
class QLabel;
class QResizeEvent;
class QShowEvent;

namespace Ui {
class TFormApp;
}

class TFormApp : public QDialog {
    Q_OBJECT

public:
    // owner: the start-up window (none for the settings dialog); module: owned from here on.
    // The maker binds the module to the window (KModule::SetForm) once it is whole.
    TFormApp(QWidget* owner, KModule* module);
    // Does not delete the module: only FormClose does.
    ~TFormApp() override;

    // An integer kept for derived windows; FormClose sets it back to 0.
    virtual void SetStatus(int status);
    virtual void Notify();
    int GetStatus() const { return status_; }

    KModule* GetModule() const { return module_; }
    QWidget* GetStartUp() const { return startUp_; }

    // Runs on every close: stores the position under the caption, releases the module (once;
    // it is deleted as soon as none of its operations runs).
    virtual void FormClose();
    // Runs on every show: moves to the stored position, hides the start-up window.
    virtual void FormShow();

    // Escape: a modal run ends as Cancel; a modeless window stays (its close box closes it).
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // The two strips along the top; derived windows put their title into LabelCaption.
    QLabel* LabelDmy() const;
    QLabel* LabelCaption() const;

private:
    // No button of the window is pressed by Enter: none is the default button, and none
    // becomes it when it takes the focus. Every show of a modeless window runs it.
    void DropDefaultButtons();

    std::unique_ptr<Ui::TFormApp> baseUi_;
    QPointer<QWidget> startUp_;
    KModule* module_ = nullptr;
    int status_ = 0;
    bool sizeFixed_ = false;
};
