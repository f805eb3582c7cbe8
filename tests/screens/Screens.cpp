// Pictures of the dB, percent, settings and manual windows, local and remote, for a look by
// eye: the program's own start-up window and instrument windows in a fresh working folder,
// connected over TCP to the simulator on 127.0.0.1. Usage: qmr_screens <folder for the PNG files>.
// Run under a real X server (Xvfb) for the toolkit's real look; offscreen works too.

#include "Simulator.h"

#include "app/core/Appdefine.h"
#include "app/core/Formmn.h"
#include "app/core/Menumodel.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/program/Formstup.h"
#include "app/windows/Formapqmr.h"
#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "bramble/Bramble.h"
#include "common/Fontsubst.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

bool WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The settings file of the simulator's network face.
bool WriteSettings(int tcpPort)
{
    AppSetRecord record{};
    record.Com.Interface = kInterfaceLan;
    record.Com.ComPort = 1;
    std::strcpy(record.Com.IpAddress, "127.0.0.1");
    record.Com.TcpPort = tcpPort;
    std::strcpy(record.Com.Terminator, "\n");
    return WriteBytes("APPSET.DAT", std::string(reinterpret_cast<const char*>(&record), sizeof record));
}

QString LabelText(QWidget* form, const char* name)
{
    auto* label = form->findChild<QLabel*>(QLatin1String(name));
    return label != nullptr ? label->text() : QString();
}

// Answers any message window with OK / YES, and says what it showed: a picture should not
// have one in front of it.
void AnswerMessages()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::printf("message box: %s\n", box->text().toUtf8().constData());
        box->accept();
        return;
    }
    std::printf("message window: %s / %s\n", LabelText(modal, "PanelUp").toUtf8().constData(),
                LabelText(modal, "PanelDn").toUtf8().constData());
    if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))) {
        ok->click();
    } else {
        modal->close();
    }
}

bool SavePicture(QWidget* window, const fs::path& out, const char* name);

class Session {
public:
    explicit Session(fs::path out) : out_(std::move(out)) {}

    bool Run();
    // The manual window, local and remote with a query's reply in its memo.
    bool RunManual();

private:
    bool Start();
    TFormAppQmr* Window() const { return startUp_ ? startUp_->CurrentWindow() : nullptr; }
    KModuleQmr* Module() const { return Window() != nullptr ? Window()->Module() : nullptr; }
    bool Idle() const;
    bool WaitFor(const std::function<bool()>& done, int ms, const char* what);
    bool WaitShown(int kind);
    bool WaitRemote(int kind);
    bool WaitLocal();
    void Click(const char* button);
    bool Save(const char* name);
    // The sliders at their minimum, a middle value and their maximum (shown, not sent).
    bool SaveSliderPositions(const std::string& prefix, int16_t maximum);
    // The settings window, remote (opened by Configure, settings read) and local.
    bool ConfigPictures();

    fs::path out_;
    qmrsim::Simulator sim_;
    std::unique_ptr<TFormStartUp> startUp_;
};

bool Session::Idle() const
{
    KModuleQmr* module = Module();
    return module != nullptr && module->GetFunctionState() == fnIDLE && !module->GetBusy();
}

bool Session::WaitFor(const std::function<bool()>& done, int ms, const char* what)
{
    if (QTest::qWaitFor(done, ms)) {
        return true;
    }
    std::fprintf(stderr, "qmr_screens: timed out waiting for %s\n", what);
    return false;
}

bool Session::WaitShown(int kind)
{
    return WaitFor(
        [&] {
            TFormAppQmr* window = Window();
            return window != nullptr && Module() != nullptr && Module()->GetKind() == kind && window->isVisible() &&
                   QTest::qWaitForWindowExposed(window, 10);
        },
        10000, kind == 0 ? "the dB window" : "the percent window");
}

bool Session::WaitRemote(int kind)
{
    return WaitFor(
        [&] {
            KModuleQmr* module = Module();
            return module != nullptr && module->GetKind() == kind && module->IsRemote() && Idle();
        },
        15000, "the remote state");
}

bool Session::WaitLocal()
{
    return WaitFor(
        [&] {
            KModuleQmr* module = Module();
            return module != nullptr && !module->IsRemote() && Idle();
        },
        15000, "the local state");
}

void Session::Click(const char* button)
{
    if (auto* b = Window()->findChild<QPushButton*>(QLatin1String(button))) {
        b->click();
    } else {
        std::fprintf(stderr, "qmr_screens: no button %s\n", button);
    }
}

// The window as the screen shows it into out/name.
bool SavePicture(QWidget* window, const fs::path& out, const char* name)
{
    QPixmap picture;
    QScreen* screen = window->screen();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && screen != nullptr) {
        // The window as the screen shows it, frame included when a window manager draws one.
        const QRect frame = window->frameGeometry();
        picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (picture.isNull()) {
        picture = window->grab();
    }
    const fs::path path = out / name;
    if (!picture.save(QString::fromStdString(path.string()), "PNG")) {
        std::fprintf(stderr, "qmr_screens: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s %dx%d\n", path.c_str(), picture.width(), picture.height());
    return true;
}

bool Session::SaveSliderPositions(const std::string& prefix, int16_t maximum)
{
    struct Position {
        const char* name;
        int16_t value;
        int16_t frequency; // the dB window's second slider
    };
    const Position positions[] = {
        {"min", 0, 10}, {"mid", static_cast<int16_t>(maximum / 2), 2000}, {"max", maximum, 4000}};
    for (const Position& p : positions) {
        Window()->ShowValue(p.value);
        Window()->ShowFrequency(p.frequency);
        if (!Save((prefix + "-" + p.name + ".png").c_str())) {
            return false;
        }
    }
    return true;
}

bool Session::Save(const char* name)
{
    // Let the lamps, timers and repaints of the last step settle.
    QTest::qWait(400);
    return SavePicture(Window(), out_, name);
}

// The dummy port's window as another program opens it, with a few lines sent and a reply
// awaited (its lamp red).
bool SaveDummyPort(const fs::path& out)
{
    _SetSioDmy(1);
    if (_Rs232Open(3, "baud=19200 parity=N data=8 stop=1") != 3) {
        std::fprintf(stderr, "qmr_screens: no dummy port\n");
        return false;
    }
    _Rs232Send(3, "*IDN?", 5);
    _Rs232SendN(3, ":SYST:ERR?", 10);
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        window = w->windowTitle() == QLatin1String("Ch3 Debug") ? w : window;
    }
    bool saved = false;
    if (window != nullptr && QTest::qWaitForWindowExposed(window, 5000)) {
        window->findChild<QWidget*>(QStringLiteral("CheckBoxWait"))->setProperty("checked", true);
        QTimer::singleShot(400, [&] {
            saved = SavePicture(window, out, "dummy-port.png");
            QMetaObject::invokeMethod(window->findChild<QWidget*>(QStringLiteral("Button1")), "click");
        });
        _Rs232RecvLen(3);
    }
    _Rs232Close(3);
    _SetSioDmy(0);
    return saved;
}

// The port picker's list with more ports than it shows at once, scrolled to the last: the
// titles stay above the rows.
bool SavePortList(const fs::path& out)
{
    struct NoModel : KSelectMenu {
        bool Select(int& port) override { return (port = -1, false); }
        void AddItem(const QString&, const QString&) override {}
        void MakeList(QStringList&, QStringList&) override {}
    } model;
    QStringList names;
    QStringList numbers;
    for (int n = 1; n <= 12; ++n) {
        names << QStringLiteral("QMR3400 (SN3400%1)").arg(n, 4, 10, QLatin1Char('0'));
        numbers << QString::number(n);
    }
    TFormMenu form(nullptr, &model);
    form.Fill({"Select COM port", "Port No", "Port Info", "Please select Com port."}, names, numbers, 12);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 5000)) {
        return false;
    }
    QTest::qWait(400);
    return SavePicture(&form, out, "port-list.png");
}

bool Session::Start()
{
    qmrsim::SimulatorOptions options;
    options.tcpPort = 0;
    options.dir = fs::current_path();
    if (!sim_.Start(options)) {
        std::fprintf(stderr, "qmr_screens: simulator: %s\n", sim_.LastError().c_str());
        return false;
    }
    // 5 GHz: the loss may reach 70.0 dB, so the range bar spans the whole scale.
    sim_.instrument().SetFrequency(500);
    // The address check answers at once: the simulator is on this machine.
    WriteBytes("chkip.bat", "#!/bin/sh\nprintf 'Reply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" > chkip.res\n");
    fs::permissions("chkip.bat", fs::perms::owner_all);
    if (!WriteSettings(sim_.TcpPort())) {
        return false;
    }
    startUp_ = std::make_unique<TFormStartUp>();
    startUp_->show();
    startUp_->StartUp();
    return Window() != nullptr;
}

bool Session::Run()
{
    if (!Start() || !WaitShown(0) || !Save("db-local.png")) {
        return false;
    }
    // The mode button with the link closed: the percent window, unconnected, and back.
    Click("ButtonMode");
    if (!WaitShown(1) || !Save("percent-local.png")) {
        return false;
    }
    Click("ButtonMode");
    if (!WaitShown(0)) {
        return false;
    }
    // The simulator starts in dB mode: the dB window connects through to the loss range.
    Click("ButtonConnect");
    if (!WaitRemote(0) || !Save("db-remote.png") || !SaveSliderPositions("db", 700)) {
        return false;
    }
    // The mode button with the link open: the instrument goes to percent mode and the percent
    // window connects by itself.
    Click("ButtonMode");
    if (!WaitShown(1) || !WaitRemote(1) || !Save("percent-remote.png") || !SaveSliderPositions("percent", 1000)) {
        return false;
    }
    Click("ButtonDisConnect");
    if (!WaitLocal() || !Save("percent-local-after-disconnect.png")) {
        return false;
    }
    return ConfigPictures();
}

bool Session::ConfigPictures()
{
    Click("ButtonConnect");
    auto* configure = Window()->findChild<QPushButton*>(QStringLiteral("ButtonConfig"));
    if (!WaitRemote(1) || !WaitFor([&] { return configure->isEnabled(); }, 5000, "Configure")) {
        return false;
    }
    Click("ButtonConfig");
    auto config = [this] { return dynamic_cast<TFormAppQmrConfig*>(Window()); };
    if (!WaitFor(
            [&] {
                return config() != nullptr && Idle() && !config()->ConfigModule()->IsSequenceRunning() &&
                       LabelText(config(), "LabelMsg") == QStringLiteral("Read all settings is completed.");
            },
            15000, "the settings read") ||
        !Save("config-remote.png")) {
        return false;
    }
    Click("ButtonDisConnect");
    return WaitLocal() && Save("config-local.png");
}

bool Session::RunManual()
{
    Click("ButtonManual");
    if (!WaitFor([&] { return Module() != nullptr && Module()->GetKind() == kKindManual && Window()->isVisible(); },
                 10000, "the manual window") ||
        !Save("manual-local.png")) {
        return false;
    }
    Click("ButtonConnect");
    if (!WaitFor([&] { return Module()->IsConnected() && Idle(); }, 15000, "the manual window's connect")) {
        return false;
    }
    Click("ButtonSend");
    auto* memo = Window()->findChild<QPlainTextEdit*>(QStringLiteral("MemoLog"));
    if (!WaitFor([&] { return memo->toPlainText().count(QStringLiteral("RECV <-")) >= 3; }, 10000, "the reply") ||
        !Save("manual-remote.png")) {
        return false;
    }
    // "Control" back to the percent window, which connects over the open link.
    Click("ButtonManual");
    return WaitRemote(1);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path out = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("screenshots"));
    std::error_code error;
    fs::create_directories(out, error);
    char pattern[] = "/tmp/qmr-screens-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    fs::current_path(work);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        setenv("XDG_RUNTIME_DIR", work.c_str(), 1);
    }

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    InstallFontSubstitutes();
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, &AnswerMessages);
    answer.start(20);

    int status = 1;
    {
        Session session(out);
        status = session.Run() && session.RunManual() ? 0 : 1;
    }
    if (!SaveDummyPort(out) || !SavePortList(out)) {
        status = 1;
    }
    // The start-up window's shut-down ran with the session; the simulator is stopped.
    fs::current_path("/");
    fs::remove_all(work, error);
    return status;
}
