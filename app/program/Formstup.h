#pragma once
// The start-up window: the program's small always-on-top splash and its frame for the whole
// run. It switches logging on from the command line, loads the window positions, makes the
// communication module and the instrument device at its start-up step, opens and swaps the
// instrument windows (the window switch), takes the window to the local state after a lost
// network link, and runs the orderly shut-down. GUI thread only, except StartToLocalTimer.

#include "app/windows/Formapqmr.h"

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class KComDeviceQmr;
class KComModule;
class KModuleQmr;
class QCloseEvent;
class QTimer;

namespace Ui {
class TFormStartUp;
}

class TFormStartUp : public QWidget, public KWindowSwitch {
    Q_OBJECT

public:
    static constexpr int kStartUpDelayMs = 750;
    static constexpr int kToLocalDelayMs = 100;

    // Makes the instrument window of one window number around its new module.
    using WindowMaker = TFormAppQmr* (*)(QWidget* owner, KModuleQmr* module);

    explicit TFormStartUp(QWidget* parent = nullptr);
    // Destroys the instrument windows; FormDestroy must have run before.
    ~TFormStartUp() override;

    // Settings loaded, communication module and device made, window 0 opened, settings saved.
    void StartUp();
    void ChangeWindow(int number, int linkCode) override;
    bool HasWindow(int number) const override;
    // Closes the start-up window, which ends the message loop.
    void Quit() override;
    void WindowClosed(TFormAppQmr* window) override;
    // Any thread: has TimerToLocal4 started on the GUI thread.
    void StartToLocalTimer();
    // The shut-down: settings written back, link closed, device and communication module
    // deleted, window positions and log closed. Runs once, after the message loop.
    void FormDestroy();
    // SIGTERM or SIGINT: the current window closes as its Close would after the questions
    // (answered yes); before the first window, the program just ends.
    void CloseOnSignal();
    void BeforeExit();

    // Replaces the maker of a window number (none: that window cannot be opened).
    static void SetWindowMaker(int number, WindowMaker maker);

    TFormAppQmr* CurrentWindow() const { return currentWindow_; }
    KModuleQmr* CurrentModule() const { return currentModule_; }
    KComModule* ComModule() const { return comModule_.get(); }
    KComDeviceQmr* Device() const { return device_.get(); }
    const std::vector<TFormAppQmr*>& Windows() const { return windows_; }
    QTimer* Timer1() const { return timer1_; }
    QTimer* TimerToLocal4() const { return timerToLocal4_; }

public slots:
    void Timer1Timer();
    void TimerToLocal4Timer();
    void ButtonExitClick();
    void ButtonShowClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TFormStartUp> ui_;
    std::unique_ptr<KComModule> comModule_;
    std::unique_ptr<KComDeviceQmr> device_;
    TFormAppQmr* currentWindow_ = nullptr;
    KModuleQmr* currentModule_ = nullptr;
    std::vector<TFormAppQmr*> windows_; // the windows the switch made that still exist, owned
    QTimer* timer1_ = nullptr;
    QTimer* timerToLocal4_ = nullptr;
    uint64_t lostLink_ = 0; // the link that asked for the local state (LinksOpened)
    bool shutDown_ = false;
};

// The one start-up window; the reader thread reaches StartToLocalTimer through it.
extern std::atomic<TFormStartUp*> FormStartUp;
// The last of the two control windows (0 dB, 1 percent) that the switch opened.
extern int LastControlWindow;
