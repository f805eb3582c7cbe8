#include "EngineRig.h"

#include "app/core/Appdefine.h"
#include "app/core/Formmesg.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

extern "C" const char* __tsan_default_options();
extern "C" const char* __asan_default_options();

namespace enginetest {

namespace {

TFormAppQmr* MakeWindow0(QWidget* owner, KModuleQmr* module)
{
    return new TestWindow(owner, module, 0);
}

TFormAppQmr* MakeWindow1(QWidget* owner, KModuleQmr* module)
{
    return new TestWindow(owner, module, 1);
}

QString LabelText(QWidget* form, const char* name)
{
    auto* label = form->findChild<QLabel*>(QLatin1String(name));
    return label != nullptr ? label->text() : QString();
}

} // namespace

Operator::Operator()
{
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &Operator::Tick);
    timer_.start();
}

bool Operator::SawUpper(const QString& upper) const
{
    for (const Shown& shown : seen_) {
        if (shown.upper == upper) {
            return true;
        }
    }
    return false;
}

bool Operator::SawCaption(const QString& caption) const
{
    for (const Shown& shown : seen_) {
        if (shown.caption == caption) {
            return true;
        }
    }
    return false;
}

void Operator::Tick()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || (ready_ && !ready_())) {
        return;
    }
    ready_ = nullptr;
    const bool yes = answers_.empty() ? true : answers_.front();
    if (!answers_.empty()) {
        answers_.pop_front();
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen_.push_back({box->windowTitle(), box->text(), QString()});
        box->accept();
        return;
    }
    seen_.push_back({LabelText(modal, "PanelCaption"), LabelText(modal, "PanelUp"), LabelText(modal, "PanelDn")});
    auto* button = modal->findChild<QPushButton*>(QLatin1String(yes ? "ButtonOk" : "ButtonCancel"));
    if (button != nullptr) {
        button->click();
    } else {
        modal->close();
    }
}

void EngineTest::SetUp()
{
    TFormStartUp::SetWindowMaker(0, MakeWindow0);
    TFormStartUp::SetWindowMaker(1, MakeWindow1);
    // The address check answers at once: the simulator is on this machine.
    qmrtest::WriteFile("chkip.bat",
                       "#!/bin/sh\nprintf 'Reply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" > chkip.res\n");
    std::filesystem::permissions("chkip.bat", std::filesystem::perms::owner_all);
}

void EngineTest::TearDown()
{
    StopProgram();
    sim.Stop();
}

void EngineTest::StartSim(int ptyCom)
{
    qmrsim::SimulatorOptions options;
    options.tcpPort = 0;
    options.ptyCom = ptyCom;
    options.dir = dir.Path();
    ASSERT_TRUE(sim.Start(options)) << sim.LastError();
}

void EngineTest::WriteSettings(int com, int tcpPort, const std::filesystem::path& folder)
{
    usbCom = com;
    AppSetRecord record{};
    record.Com.Interface = com > 0 ? kInterfaceUsb : kInterfaceLan;
    record.Com.ComPort = com > 0 ? com : 1;
    std::strcpy(record.Com.IpAddress, "127.0.0.1");
    record.Com.TcpPort = tcpPort > 0 ? tcpPort : sim.TcpPort();
    std::strcpy(record.Com.Terminator, "\n");
    qmrtest::WriteFile(folder / "APPSET.DAT", std::string(reinterpret_cast<const char*>(&record), sizeof record));
}

void EngineTest::StartProgram()
{
    startUp = std::make_unique<TFormStartUp>();
    startUp->show();
    startUp->StartUp();
    ASSERT_NE(Window(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
}

void EngineTest::StopProgram()
{
    if (startUp) {
        startUp->FormDestroy();
        startUp.reset();
    }
}

TestWindow* EngineTest::Window() const
{
    return startUp ? dynamic_cast<TestWindow*>(startUp->CurrentWindow()) : nullptr;
}

KModuleQmr* EngineTest::Module() const
{
    return Window() != nullptr ? Window()->Module() : nullptr;
}

KComDeviceQmr* EngineTest::Device() const
{
    return startUp ? startUp->Device() : nullptr;
}

QLabel* EngineTest::Label(const char* name) const
{
    return Window()->findChild<QLabel*>(QLatin1String(name));
}

bool EngineTest::LampLit(const char* name) const
{
    return Label(name)->palette().color(QPalette::Window) == QColor(0xFF, 0xFF, 0x00);
}

void EngineTest::ClickConnect()
{
    Window()->findChild<QPushButton*>(QStringLiteral("ButtonConnect"))->click();
}

bool EngineTest::WaitIdle(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(
        [&] {
            KModuleQmr* module = Module();
            return module != nullptr && module->GetFunctionState() == fnIDLE && !module->GetBusy();
        },
        static_cast<int>(timeout.count()));
}

bool EngineTest::WaitRemote(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(
        [&] {
            KModuleQmr* module = Module();
            return module != nullptr && module->IsRemote() && module->GetFunctionState() == fnIDLE &&
                   !module->GetBusy() && LampLit("LabelRemote");
        },
        static_cast<int>(timeout.count()));
}

bool EngineTest::WaitLocal(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(
        [&] {
            KModuleQmr* module = Module();
            return module != nullptr && !module->IsConnected() && !module->IsRemote() &&
                   module->GetFunctionState() == fnIDLE && !module->GetBusy() && LampLit("LabelLocal");
        },
        static_cast<int>(timeout.count()));
}

bool EngineTest::WaitForLine(const std::string& line, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([&] { return Count(line) > 0; }, static_cast<int>(timeout.count()));
}

std::vector<std::string> EngineTest::Lines() const
{
    std::vector<std::string> lines;
    for (const qmrsim::Received& received : sim.Records()) {
        lines.push_back(received.line);
    }
    return lines;
}

int EngineTest::Count(const std::string& line) const
{
    int n = 0;
    for (const std::string& l : Lines()) {
        n += l == line ? 1 : 0;
    }
    return n;
}

ProgramProcess::~ProgramProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ProgramProcess::Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                           const std::function<void()>& inChild)
{
    const std::filesystem::path program = std::filesystem::path(QMR_PROGRAM_DIR) / "qmr3400";
    if (!std::filesystem::exists(program)) {
        return false;
    }
    // The program is no test program: its sanitizer runtime gets the tests' options through
    // its environment, made before the fork (the child only execs).
    std::vector<std::string> settings = {std::string("TSAN_OPTIONS=") + __tsan_default_options(),
                                         std::string("ASAN_OPTIONS=") + __asan_default_options(),
                                         "QT_QPA_PLATFORM=offscreen"};
    settings.insert(settings.end(), env.begin(), env.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(settings.begin(), settings.end(),
                                          [&](const std::string& setting) { return setting.starts_with(name); });
        if (!replaced) {
            environment.push_back(text);
        }
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    std::vector<std::string> argv = {program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> all;
        for (std::string& text : texts) {
            all.push_back(text.data());
        }
        all.push_back(nullptr);
        return all;
    };
    std::vector<char*> argPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(environment);
    pid_ = fork();
    if (pid_ == 0) {
        if (inChild) {
            inChild();
        }
        execve(argPointers[0], argPointers.data(), envPointers.data());
        _exit(127);
    }
    return pid_ > 0;
}

void ProgramProcess::Signal(int signal) const
{
    if (pid_ > 0) {
        kill(pid_, signal);
    }
}

bool ProgramProcess::WaitExit(std::chrono::milliseconds timeout, int& status)
{
    const bool ended = pid_ > 0 && qmrtest::WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
    if (ended) {
        pid_ = -1;
    }
    return ended;
}

std::string LogText(const std::filesystem::path& folder)
{
    std::string all;
    if (std::filesystem::exists(folder / "log")) {
        for (const auto& entry : std::filesystem::directory_iterator(folder / "log")) {
            all += qmrtest::ReadFile(entry.path());
        }
    }
    return all;
}

std::vector<std::string> ConnectLines(int kind, int frequency)
{
    std::vector<std::string> lines = {":ISI:MODE?",    "*IDN?",       kind == 0 ? ":ISI:IL?" : ":ISI:LEVE?",
                                      ":SYST:ERR?",    ":SYST:KLOC?", "*ESE 68;*OPC?",
                                      ":SYST:REM;ERR?"};
    if (kind == 0) {
        lines.push_back(":ISI:RANG? " + std::to_string(frequency) + ";:SYST:ERR?");
    }
    return lines;
}

} // namespace enginetest
