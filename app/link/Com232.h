#pragma once
// The transports of the instrument link: one object per open link that carries text lines
// over the USB virtual COM port (through Bramble's serial functions) or over TCP.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qmr::platform {
class TcpClient;
}

// What a transport's Receive gives when its carrier is gone; the reader thread ends on it.
inline constexpr const char* kLinkDisconnected = "DISCONNECTED";

class KCom {
public:
    virtual ~KCom() = default;
    // One received line without its terminator, or the empty text when none came in time.
    virtual std::string Receive(const char* terminator, int timeoutMs) = 0;
    // Sends the text as it is (it already ends with the terminator); false when the link is
    // not open or the write failed or was short.
    virtual bool Send(const char* text) = 0;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual const char* GetName() = 0;
    virtual bool IsPresent() = 0;
};

// The instrument's USB virtual COM port, addressed by Bramble's port index.
class KComRs232c : public KCom {
public:
    KComRs232c(int portIndex, int baudRate);
    ~KComRs232c() override = default;

    std::string Receive(const char* terminator, int timeoutMs) override;
    bool Send(const char* text) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() override { return handle_.load() >= 0; }
    const char* GetName() override { return "USB"; }
    bool IsPresent() override;

private:
    std::string ReceiveRaw();
    bool PortLost() const;

    int portIndex_;
    int baudRate_;
    std::atomic<int> handle_{-1};
    // Bramble keeps a pointer to the terminator, not a copy: it lives here.
    char terminator_[3] = {};
};

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
