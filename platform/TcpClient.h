#pragma once
// A TCP client socket for the instrument's network link: connect with a time-out, write
// everything or fail, read one line with a terminator and a time-out, disconnect.
//
// One thread reads (ReadLine) while another may write (Write). Disconnect may run on the
// reading thread while a write is in progress on another: it shuts the socket down first,
// which wakes a write that waits for room, then closes the socket once that write has left.
// No lock is held across a wait for the peer; a write after the close does nothing and
// fails. ReadLine and Disconnect must not run at the same time on two threads (the reader
// closes its own socket, or the socket is closed after the reader has ended).

#include "platform/LineSplitter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

namespace qmr::platform {

class TcpClient {
public:
    enum class ReadStatus {
        Line,     // a whole line came; `line` holds it without its terminator
        TimedOut, // no whole line within the time-out; `line` is empty, partial bytes are kept
        Lost,     // the peer closed or reset the connection, or there is none
    };

    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    // A write that finds the send buffer full waits at most this long for room.
    static constexpr std::chrono::milliseconds kWriteTimeout{5000};
    static constexpr std::size_t kMaxPending = LineSplitter::kMaxPending;

    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    void SetHost(const std::string& host) { host_ = host; }
    void SetPort(int port) { port_ = port; }

    // Connects to the numeric address and port set before (no name lookup). False when the
    // address is not numeric, the port is out of range, the peer refuses or does not answer
    // within `timeout`.
    bool Connect(std::chrono::milliseconds timeout = kConnectTimeout);

    // Writes all `length` bytes; false when not connected, or when the write fails or cannot
    // finish within kWriteTimeout.
    bool Write(const void* data, std::size_t length);

    // Reads one line ending with `terminator`. With the terminator "\n" a carriage return
    // before it is dropped too. An empty terminator hands over whatever bytes arrived.
    ReadStatus ReadLine(const std::string& terminator, std::chrono::milliseconds timeout, std::string& line);

    // Closes the connection; safe to call more than once. A write waiting for room in the
    // send buffer is cut short first, so the close never waits for a stalled peer.
    void Disconnect();

    // True between a successful Connect and Disconnect.
    bool IsConnected() const { return fd_.load() >= 0; }

private:
    // Guards the descriptor's lifetime against writes in progress; held only for moments.
    std::mutex stateMutex_;
    std::condition_variable writersLeft_;
    int writers_ = 0;       // writes between their start and their end (stateMutex_)
    bool shutDown_ = false; // Disconnect has begun: no write may start (stateMutex_)
    std::atomic<int> fd_{-1};
    std::string host_;
    int port_ = 0;
    LineSplitter lines_; // received bytes not yet handed over (reading thread only)
    bool peerClosed_ = false;
};

} // namespace qmr::platform
