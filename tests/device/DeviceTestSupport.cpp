#include "DeviceTestSupport.h"

#include "app/core/Formmesg.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

namespace devicetest {

void RecordingModule::OnReceive(int state, int count, const char* text)
{
    Record("OnReceive " + std::to_string(state) + " " + std::to_string(count) + " " + text);
    if (onReceive) {
        onReceive(state, text);
    }
    // Counted last: a test that waits for the count sees everything the hook did.
    replies_.fetch_add(1);
}

void RecordingModule::ReceiveData(char* text, int* count)
{
    Record("ReceiveData " + std::to_string(*count) + " " + text);
}

void RecordingModule::Record(const std::string& call)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }
    if (onCall) {
        onCall(call);
    }
}

std::vector<std::string> RecordingModule::Calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void RecordingModule::ClearCalls()
{
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

size_t RecordingModule::Count(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const std::string& call : calls_) {
        n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

AutoAnswer::AutoAnswer(bool cancel) : timer_(new QTimer())
{
    timer_->setInterval(2);
    QObject::connect(timer_, &QTimer::timeout, [this, cancel] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        ShownMessage shown;
        if (auto* label = modal->findChild<QLabel*>("PanelCaption")) {
            shown.caption = label->text();
        }
        if (auto* label = modal->findChild<QLabel*>("PanelUp")) {
            shown.upper = label->text();
        }
        if (auto* label = modal->findChild<QLabel*>("PanelDn")) {
            shown.lower = label->text();
        }
        // The message windows name their button "ButtonOk", the settings window "ButtonOK".
        const char* name = cancel ? "ButtonCancel" : "ButtonOk";
        QPushButton* button = modal->findChild<QPushButton*>(name);
        if (button == nullptr && !cancel) {
            button = modal->findChild<QPushButton*>("ButtonOK");
        }
        if (button == nullptr) {
            ADD_FAILURE() << "modal window without " << name;
            modal->close();
            return;
        }
        shown_.push_back(shown);
        button->click();
    });
    timer_->start();
}

AutoAnswer::~AutoAnswer()
{
    delete timer_;
}

bool ModalShown()
{
    return QApplication::activeModalWidget() != nullptr;
}

namespace {

void SetTerminator(ComSettings& s, const char* terminator)
{
    std::memset(s.Terminator, 0, sizeof s.Terminator);
    std::memcpy(s.Terminator, terminator, std::min(std::strlen(terminator), sizeof s.Terminator));
}

} // namespace

ComSettings LanSettings(uint16_t port, const char* terminator)
{
    ComSettings s{};
    s.Interface = kInterfaceLan;
    s.ComPort = 1;
    std::strcpy(s.IpAddress, "127.0.0.1");
    s.TcpPort = port;
    SetTerminator(s, terminator);
    return s;
}

ComSettings UsbSettings(int comNumber, const char* terminator)
{
    ComSettings s{};
    s.Interface = kInterfaceUsb;
    s.ComPort = comNumber;
    std::strcpy(s.IpAddress, "127.0.0.1");
    s.TcpPort = 10001;
    SetTerminator(s, terminator);
    return s;
}

void WriteAnsweringCheck()
{
    qmrtest::WriteFile("chkip.bat", "#!/bin/sh\necho run >> chkip.calls\n"
                                    "printf 'Pinging %s\\nReply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" \"$1\""
                                    " > chkip.res\nexit 0\n");
}

void WriteSilentCheck()
{
    qmrtest::WriteFile("chkip.bat", "#!/bin/sh\necho run >> chkip.calls\n"
                                    "printf 'Pinging %s\\nRequest timed out.\\n' \"$1\" > chkip.res\nexit 0\n");
}

bool LogEndsWith(const std::string& tail)
{
    const std::string wanted = " " + tail;
    for (const std::string& line : linktest::LogLines()) {
        if (line.size() >= wanted.size() && line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0) {
            return true;
        }
    }
    return false;
}

int CheckRuns()
{
    std::istringstream in(qmrtest::ReadFile("chkip.calls"));
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
    }
    return n;
}

} // namespace devicetest
