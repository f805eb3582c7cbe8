#pragma once
// The instrument's network transport, and the notice it posts when the connection is lost.

#include "app/link/Com232.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qmr::platform {
class TcpClient;
}

// The instrument's network link over a TCP client socket.
class KComTcpip : public KCom {
public:
    KComTcpip(int tcpPort, const char* host);
    ~KComTcpip() override;

    std::string Receive(const char* terminator, int timeoutMs) override;
    bool Send(const char* text) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() override;
    const char* GetName() override { return "LAN"; }
    bool IsPresent() override { return connected_.load() != 0; }

private:
    std::shared_ptr<qmr::platform::TcpClient> Client();

    // Guards the pointer only, never a read or a write: a write on the GUI thread keeps its
    // own reference, so a close on the reader thread (a lost connection) shuts the socket down
    // at once, which cuts a write stalled on a peer that stopped reading short.
    std::mutex clientMutex_;
    std::shared_ptr<qmr::platform::TcpClient> client_;
    char host_[32] = {};
    int tcpPort_;
    std::atomic<unsigned char> connected_{0};
};

// The lost-network notice. The LAN transport calls it on the reader thread when the
// connection is lost and returns at once; the handler must only post the notice and never
// wait for it. Without a handler of its own the program posts a critical message box to the
// GUI thread (when a QApplication exists). An empty handler restores that default.
using LinkNoticeHandler = std::function<void(const std::string& text, const std::string& caption)>;
void SetLinkNoticeHandler(LinkNoticeHandler handler);
void PostLinkNotice(const std::string& text, const std::string& caption);

// The notice's texts.
inline constexpr const char* kLinkLostNoticeText = "   Network disconnected  ";
inline constexpr const char* kLinkLostNoticeCaption = "ERROR";
