#include "app/link/Comtcpip.h"

#include "common/Guipost.h"
#include "platform/TcpClient.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <chrono>
#include <cstring>

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
