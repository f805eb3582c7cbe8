#pragma once
// Peers and probes for the link tests: an instrument's TCP side on 127.0.0.1, a port where
// nothing listens, counts of the process's descriptors and threads, and the log's lines.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace linktest {

using namespace std::chrono_literals;

// A TCP server on 127.0.0.1 with an ephemeral port that takes one connection at a time.
class TcpPeer {
public:
    TcpPeer();
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    uint16_t Port() const { return port_; }
    // Accepts the next connection (closing the previous one); true when one came in time.
    bool Accept(std::chrono::milliseconds timeout = 2000ms);
    bool Send(const std::string& bytes);
    // Reads until `terminator` arrived (returned with it) or the time ran out.
    std::string ReadUntil(const std::string& terminator, std::chrono::milliseconds timeout = 2000ms);
    // Whatever has arrived, without waiting.
    std::string ReadAvailable();
    // Closes the connection in order (FIN).
    void Close();
    // Aborts the connection (RST).
    void Reset();
    bool Connected() const { return conn_ >= 0; }

private:
    int listener_ = -1;
    int conn_ = -1;
    uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once and released).
uint16_t ClosedPort();

// Open descriptors (/proc/self/fd) and threads (/proc/self/task) of this process.
int OpenDescriptors();
int Threads();
// True once the process has `count` threads (a thread just joined may take a moment to go).
bool ThreadsSettleAt(int count);

// Every line of the log files below log/ in the working directory.
std::vector<std::string> LogLines();
// True when a log line ends with "<tag>" or "<tag> <text>" (after its date and time).
bool LogHas(const std::string& tag, const std::string& text = "");

} // namespace linktest
