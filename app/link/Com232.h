#pragma once
// The transports of the instrument link: one object per open link that carries text lines
// over the USB virtual COM port (through Bramble's serial functions) or over TCP (Comtcpip).

#include <atomic>
#include <mutex>
#include <string>

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
