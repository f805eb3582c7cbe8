#include "app/program/Formstup.h"

#include "ui_Formstup.h"

#include "app/core/Appdefine.h"
#include "app/core/Applog.h"
#include "app/core/Formlook.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlcnf.h"
#include "app/instrument/Kmdlman.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/link/Commodul.h"
#include "app/link/Strmthread.h"
#include "bramble/Bramble.h"
#include "common/Guipost.h"
#include "common/Kapp.h"

#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrmn.h"
#include "app/windows/Formapqmrpp.h"

#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <cstring>
#include <string>

std::atomic<TFormStartUp*> FormStartUp{nullptr};
int LastControlWindow = 0;

using namespace formlook;

namespace {

constexpr int kWindowCount = 4;

TFormAppQmr* MakeDbWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrIL(owner, module);
}

TFormAppQmr* MakePercentWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrPp(owner, module);
}

TFormAppQmr* MakeManualWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrManual(owner, module);
}

// The switch makes the settings window only around a settings module (MakeModule).
TFormAppQmr* MakeConfigWindow(QWidget* owner, KModuleQmr* module)
{
    return new TFormAppQmrConfig(owner, dynamic_cast<KModuleQmrConfig*>(module));
}

TFormStartUp::WindowMaker gMakers[kWindowCount] = {MakeDbWindow, MakePercentWindow, MakeConfigWindow, MakeManualWindow};

KModuleQmr* MakeModule(int number)
{
    switch (number) {
    case 0:
        return new KModuleQmrIL();
    case 1:
        return new KModuleQmrPP();
    case 2:
        return new KModuleQmrConfig();
    case 3:
        return new KModuleQmrManual();
    default:
        return nullptr;
    }
}

// Searched in the arguments after the program's path: a Linux path is made of "/".
bool HasSwitch(const QStringList& arguments, const char* text)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].contains(QLatin1String(text), Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

} // namespace

TFormStartUp::TFormStartUp(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TFormStartUp>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(509, 150);
    Fill(this, Qt::white);
    SetPixelFont(this, QStringLiteral("Arial"), 13);
    SetPixelFont(ui_->Label2, QStringLiteral("Arial"), 48);
    SetPixelFont(ui_->Label1, QStringLiteral("Arial"), 13);
    Fill(ui_->Label1, QColor(34, 177, 76));
    QPalette credit = ui_->Label1->palette();
    credit.setColor(QPalette::WindowText, Qt::white);
    ui_->Label1->setPalette(credit);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    connect(ui_->ButtonExit, &QPushButton::clicked, this, &TFormStartUp::ButtonExitClick);
    connect(ui_->ButtonShow, &QPushButton::clicked, this, &TFormStartUp::ButtonShowClick);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kStartUpDelayMs);
    connect(timer1_, &QTimer::timeout, this, &TFormStartUp::Timer1Timer);
    timerToLocal4_ = new QTimer(this);
    timerToLocal4_->setObjectName(QStringLiteral("TimerToLocal4"));
    timerToLocal4_->setInterval(kToLocalDelayMs);
    connect(timerToLocal4_, &QTimer::timeout, this, &TFormStartUp::TimerToLocal4Timer);

    FormStartUp.store(this);
    const QStringList arguments = QCoreApplication::arguments();
    if (HasSwitch(arguments, "/L")) {
        _StartLog(1, 0);
    } else if (HasSwitch(arguments, "/l")) {
        _StartLog(0, 0);
    }
    _StartWinPos();
    KMessageScpiError::GetInstance();
    // The reader thread of a lost link asks for the local state through here.
    SetLinkLostHandler([] {
        if (TFormStartUp* startUp = FormStartUp.load()) {
            startUp->StartToLocalTimer();
        }
    });
    timer1_->start();
}

TFormStartUp::~TFormStartUp()
{
    FormDestroy();
    for (TFormAppQmr* window : windows_) {
        delete window;
    }
    windows_.clear();
    TFormStartUp* self = this;
    FormStartUp.compare_exchange_strong(self, nullptr);
}

void TFormStartUp::SetWindowMaker(int number, WindowMaker maker)
{
    if (number >= 0 && number < kWindowCount) {
        gMakers[number] = maker;
    }
}

bool TFormStartUp::HasWindow(int number) const
{
    return number >= 0 && number < kWindowCount && gMakers[number] != nullptr;
}

void TFormStartUp::Timer1Timer()
{
    timer1_->stop();
    StartUp();
}

void TFormStartUp::StartUp()
{
    timer1_->stop();
    if (device_) {
        return;
    }
    KAppSetData* settings = AppSetDataCreate();
    comModule_ = std::make_unique<KComModule>();
    device_ = std::make_unique<KComDeviceQmr>(comModule_.get());
    if (settings != nullptr) {
        device_->SetSetting(*settings->GetComSettings());
    }
    LogLine("TFormStartUp", "StartUp");
    ChangeWindow(0, 0);
    AppSetDataDelete();
    if (currentWindow_ != nullptr) {
        currentWindow_->show();
        currentWindow_->raise();
    }
}

void TFormStartUp::ChangeWindow(int number, int linkCode)
{
    if (number < 0) {
        number = LastControlWindow;
    }
    if (number > 3) {
        number = 0;
    }
    // A window this program does not have opens the dB window instead, so that a switch
    // never leaves the operator without a window.
    if (!HasWindow(number)) {
        number = 0;
    }
    if (!HasWindow(number) || !device_) {
        return;
    }
    KModuleQmr* module = MakeModule(number);
    if (module == nullptr) {
        return;
    }
    std::string tag = "ChangeWindow";
    _WriteNumLog(tag.data(), number);
    currentModule_ = module;
    module->SetComDevice(device_.get());
    TFormAppQmr* window = gMakers[number](this, module);
    windows_.push_back(window);
    currentWindow_ = window;
    // Bound here, once the window is whole, so that the module sees the window's own kind;
    // every window the switch makes gets it.
    module->SetForm(window);
    device_->SetModule(module);
    if (number == 0 || number == 1) {
        LastControlWindow = number;
    }
    module->SetPortPage(linkCode == 1);
    if (linkCode > 0) {
        window->SetAutoConnect(true);
    }
    window->show();
}

void TFormStartUp::Quit()
{
    close();
}

void TFormStartUp::WindowClosed(TFormAppQmr* window)
{
    // Every switch closes a window: kept hidden until the end, they would add up over a long
    // run. A closed window goes once nothing runs below its close (it may have come from a
    // handler of the window waiting in a nested loop), unless it is still the current one or
    // was shown again.
    KApplication::RunAtRest(this, [this, window = QPointer<TFormAppQmr>(window)] {
        if (window == nullptr || window == currentWindow_ || !window->isHidden() || window->GetModule() != nullptr) {
            return;
        }
        std::erase(windows_, window.data());
        delete window.data();
    });
}

void TFormStartUp::BeforeExit()
{
}

void TFormStartUp::ButtonExitClick()
{
    BeforeExit();
    close();
}

void TFormStartUp::ButtonShowClick()
{
    ui_->ButtonExit->hide();
    ui_->ButtonShow->hide();
    if (currentWindow_ != nullptr) {
        currentWindow_->show();
    }
}

void TFormStartUp::closeEvent(QCloseEvent* event)
{
    event->accept();
    // The shut-down runs once the message loop has ended, before any window is destroyed.
    QCoreApplication::quit();
}

void TFormStartUp::CloseOnSignal()
{
    if (currentWindow_ != nullptr && currentWindow_->GetModule() != nullptr) {
        currentWindow_->CloseAnswered();
        if (currentWindow_->GetModule() == nullptr) {
            return;
        }
    }
    Quit();
}

void TFormStartUp::StartToLocalTimer()
{
    // The link that is open now is the one asking: its close waits for its reader, which asks.
    const uint64_t link = comModule_ ? comModule_->LinksOpened() : 0;
    PostToGui(this, [this, link] {
        lostLink_ = link;
        timerToLocal4_->start();
    });
}

void TFormStartUp::TimerToLocal4Timer()
{
    timerToLocal4_->stop();
    // The lost link may have been closed meanwhile and another one opened: that one was not lost.
    if (comModule_ && comModule_->LinksOpened() != lostLink_) {
        return;
    }
    if (currentWindow_ != nullptr) {
        currentWindow_->DropConnection();
    }
}

void TFormStartUp::FormDestroy()
{
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    timer1_->stop();
    timerToLocal4_->stop();
    if (device_) {
        if (KAppSetData* settings = AppSetDataCreate()) {
            std::memcpy(settings->GetComSettings(), &device_->GetSetting(), sizeof(ComSettings));
        }
    }
    if (comModule_) {
        comModule_->Close();
    }
    SetLinkLostHandler(nullptr);
    // A window still holding its module (the program told to end while it was open) lets go
    // of it before the device goes.
    for (TFormAppQmr* window : windows_) {
        window->ReleaseModule();
    }
    currentModule_ = nullptr;
    device_.reset();
    comModule_.reset();
    AppSetDataDelete();
    KMessageScpiError::DeleteInstance();
    LogLine("TFormStartUp", "FormDestroy");
    _ExitWinPos();
    _EndLog();
}
