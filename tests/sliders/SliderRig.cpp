#include "SliderRig.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <cstring>

namespace slidertest {

namespace {

std::atomic<int64_t> gNow{10000};

int64_t Clock()
{
    return gNow.load();
}

ComSettings PeerSettings(uint16_t port)
{
    ComSettings s{};
    s.Interface = kInterfaceLan;
    s.ComPort = 1;
    std::strcpy(s.IpAddress, "127.0.0.1");
    s.TcpPort = port;
    std::strcpy(s.Terminator, "\n");
    return s;
}

} // namespace

void ResetClock()
{
    gNow.store(10000);
    SetQmrClockForTest(&Clock);
}

void AdvanceClock(int ms)
{
    gNow.fetch_add(ms);
}

Link::Link(int kind)
{
    ResetClock();
    // The address check answers at once: the peer is this machine.
    qmrtest::WriteFile("chkip.bat",
                       "#!/bin/sh\nprintf 'Reply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" > chkip.res\n"
                       "exit 0\n");
    if (kind == kKindIL) {
        owned_ = std::make_unique<KModuleQmrIL>();
    } else {
        owned_ = std::make_unique<KModuleQmrPP>();
    }
    module_ = owned_.get();
    device_.SetSetting(PeerSettings(peer_.Port()));
    module_->SetComDevice(&device_);
    device_.SetModule(module_);
}

Link::~Link()
{
    Close();
    if (owned_ != nullptr) {
        device_.SetModule(nullptr);
        owned_.reset();
    }
    SetQmrClockForTest(nullptr);
}

bool Link::Connect()
{
    if (!module_->OpenPort()) {
        return false;
    }
    module_->SetBusy(false);
    if (!peer_.Accept(3000ms)) {
        return false;
    }
    OpenGate();
    return module_->IsConnected();
}

void Link::Close()
{
    if (device_.IsOpen()) {
        device_.Close();
    }
    device_.ClearRemote();
}

std::string Link::NextLine(std::chrono::milliseconds timeout)
{
    // The GUI thread keeps running meanwhile: retries are timer work.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t end = partial_.find('\n');
        if (end != std::string::npos) {
            std::string line = partial_.substr(0, end);
            partial_.erase(0, end + 1);
            return line;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::string();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        partial_ += peer_.ReadUntil("\n", 5ms);
    }
}

std::vector<std::string> Link::Wire(std::chrono::milliseconds quiet)
{
    std::vector<std::string> wire;
    OpenGate();
    for (std::string line = NextLine(quiet); !line.empty(); line = NextLine(quiet)) {
        wire.push_back(line);
        OpenGate();
    }
    return wire;
}

std::string Link::Converse(const std::vector<Exchange>& exchanges,
                           const std::function<void(const std::string& command)>& before)
{
    for (const Exchange& e : exchanges) {
        std::string line = NextLine();
        if (line != e.command) {
            return line.empty() ? "(nothing instead of " + e.command + ")" : line;
        }
        if (before) {
            before(e.command);
        }
        Reply(e.reply);
    }
    return std::string();
}

std::vector<Link::Exchange> ConnectConversation(int kind, const std::string& read)
{
    const bool db = kind == kKindIL;
    return {{":ISI:MODE?", db ? "I" : "P"},
            {"*IDN?", "MAKER,QMR3400,123456,1.00"},
            {db ? ":ISI:IL?" : ":ISI:LEVE?", read},
            {":SYST:ERR?", kNoError},
            {":SYST:KLOC?", "OFF"},
            {KComDeviceQmr::EventStatusEnableText(KComDeviceQmr::kEventStatusMask), "1"},
            {":SYST:REM;ERR?", kNoError}};
}

bool ModalUp()
{
    return QApplication::activeModalWidget() != nullptr;
}

ModalAnswerer::ModalAnswerer()
{
    QTimer::singleShot(10, &context_, [this] { Poll(); });
}

void ModalAnswerer::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        if (++polls_ < 500) {
            QTimer::singleShot(10, &context_, [this] { Poll(); });
        }
        return;
    }
    shown_ = true;
    if (auto* up = modal->findChild<QLabel*>(QStringLiteral("PanelUp"))) {
        upper_ = up->text();
    }
    if (auto* down = modal->findChild<QLabel*>(QStringLiteral("PanelDn"))) {
        lower_ = down->text();
    }
    if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))) {
        ok->click();
    }
}

} // namespace slidertest
