#include "Com232.h"

#include "common/Guipost.h"

#include "Wenportfnc.h"
#include "bramble/Bramble.h"
#include "platform/PortNames.h"
#include "platform/TcpClient.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

std::mutex gNoticeMutex;
LinkNoticeHandler gNoticeHandler;

void ShowNoticeOnGuiThread(const std::string& text, const std::string& caption)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return;
    }
    QString body = QString::fromLatin1(text.c_str());
    QString title = QString::fromLatin1(caption.c_str());
    // Shown without a nested event loop: the GUI thread goes on (and may close the link)
    // while the box is up.
    PostToGui(app, [body, title] {
        auto* box = new QMessageBox(QMessageBox::Critical, title, body, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        box->show();
    });
}

} // namespace

void SetLinkNoticeHandler(LinkNoticeHandler handler)
{
    std::lock_guard<std::mutex> lock(gNoticeMutex);
    gNoticeHandler = std::move(handler);
}

void PostLinkNotice(const std::string& text, const std::string& caption)
{
    LinkNoticeHandler handler;
    {
        std::lock_guard<std::mutex> lock(gNoticeMutex);
        handler = gNoticeHandler;
    }
    if (handler) {
        handler(text, caption);
    } else {
        ShowNoticeOnGuiThread(text, caption);
    }
}

// ---------------------------------------------------------------------------------------
// USB virtual COM port

KComRs232c::KComRs232c(int portIndex, int baudRate) : portIndex_(portIndex), baudRate_(baudRate)
{
}

bool KComRs232c::Open()
{
    char settings[64];
    std::snprintf(settings, sizeof settings, "baud=%d parity=N data=8 stop=1", baudRate_);
    handle_.store(_Rs232Open(portIndex_, settings));
    return handle_.load() >= 0;
}

void KComRs232c::Close()
{
    int handle = handle_.exchange(-1);
    if (handle >= 0) {
        _Rs232Close(handle);
    }
}

bool KComRs232c::Send(const char* text)
{
    if (!IsOpen() || text == nullptr) {
        return false;
    }
    return _Rs232SendN(portIndex_, text, static_cast<int>(std::strlen(text))) == 1;
}

bool KComRs232c::PortLost() const
{
    return !qmr::platform::ComDeviceExists(portIndex_ + 1);
}

std::string KComRs232c::Receive(const char* terminator, int /*timeoutMs: the port's own time-outs apply*/)
{
    if (!IsOpen()) {
        return {};
    }
    if (terminator == nullptr || terminator[0] == '\0') {
        return ReceiveRaw();
    }
    std::strncpy(terminator_, terminator, 2);
    terminator_[2] = '\0';
    _Rs232CrLf(portIndex_, terminator_);

    char buffer[129];
    int got = _Rs232Recv(portIndex_, buffer, 128);
    if (got > 0) {
        buffer[got < 128 ? got : 128] = '\0';
        return std::string(buffer);
    }
    // A port that was unplugged (or a pseudo-terminal whose other side went away) keeps
    // failing at once; report it like a lost network link so that the reader ends.
    if (got < 0 && PortLost()) {
        return kLinkDisconnected;
    }
    return {};
}

std::string KComRs232c::ReceiveRaw()
{
    int waiting = _Rs232RecvLen(portIndex_);
    if (waiting <= 0) {
        if (PortLost()) {
            return kLinkDisconnected;
        }
        // Raw reads never wait: a short pause keeps the reader from spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return {};
    }
    std::vector<char> buffer(static_cast<size_t>(waiting) + 1, '\0');
    if (_Rs232RecvN(portIndex_, buffer.data(), waiting) > 0) {
        return std::string(buffer.data());
    }
    return {};
}

bool KComRs232c::IsPresent()
{
    return IsActiveUsbCom(portIndex_ + 1);
}

// ---------------------------------------------------------------------------------------
// TCP

KComTcpip::KComTcpip(int tcpPort, const char* host) : tcpPort_(tcpPort)
{
    if (host != nullptr) {
        std::strncpy(host_, host, sizeof host_ - 1);
    }
}

KComTcpip::~KComTcpip()
{
    Close();
}

bool KComTcpip::Open()
{
    auto client = std::make_shared<qmr::platform::TcpClient>();
    client->SetHost(host_);
    client->SetPort(tcpPort_);
    if (!client->Connect()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(clientMutex_);
    client_ = std::move(client);
    return true;
}

std::shared_ptr<qmr::platform::TcpClient> KComTcpip::Client()
{
    std::lock_guard<std::mutex> lock(clientMutex_);
    return client_;
}

void KComTcpip::Close()
{
    std::shared_ptr<qmr::platform::TcpClient> gone;
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        gone = std::move(client_);
    }
    if (gone) {
        // Outside the lock: the shutdown wakes a write in progress, which then lets go.
        gone->Disconnect();
    }
    connected_.store(0);
}

bool KComTcpip::IsOpen()
{
    std::shared_ptr<qmr::platform::TcpClient> client = Client();
    if (!client) {
        return false;
    }
    bool connected = client->IsConnected();
    connected_.store(connected ? 1 : 0);
    return connected;
}

bool KComTcpip::Send(const char* text)
{
    std::shared_ptr<qmr::platform::TcpClient> client = Client();
    if (!client || text == nullptr) {
        return false;
    }
    return client->Write(text, std::strlen(text));
}

std::string KComTcpip::Receive(const char* terminator, int timeoutMs)
{
    std::shared_ptr<qmr::platform::TcpClient> client = Client();
    if (!client) {
        return {};
    }
    std::string line;
    auto status = client->ReadLine(terminator != nullptr ? terminator : "", std::chrono::milliseconds(timeoutMs), line);
    if (status == qmr::platform::TcpClient::ReadStatus::Line) {
        return line;
    }
    if (status == qmr::platform::TcpClient::ReadStatus::TimedOut) {
        return {};
    }
    Close();
    PostLinkNotice(kLinkLostNoticeText, kLinkLostNoticeCaption);
    return kLinkDisconnected;
}
