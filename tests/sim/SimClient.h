#pragma once
// The program's side of the simulator's faces, for the tests: a TCP client on 127.0.0.1 and
// a pseudo-terminal opened by its published path, both reading reply lines with deadlines.

#include <chrono>
#include <optional>
#include <string>

namespace simtest {

// A line-oriented client over one descriptor.
class LineClient {
public:
    LineClient() = default;
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    // TCP to 127.0.0.1:port.
    bool ConnectTcp(int port);
    // Opens a serial device by path as the program does (raw, no controlling terminal).
    bool OpenSerial(const std::string& path);
    void Close();
    int fd() const { return fd_; }

    // Writes the text and the terminator.
    bool Send(const std::string& line, const std::string& terminator = "\n");
    bool SendRaw(const std::string& bytes);
    // One line without its terminator, or nothing when no whole line came in time.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000),
                                        const std::string& terminator = "\n");
    // Sends a query and reads its reply line.
    std::optional<std::string> Ask(const std::string& line,
                                   std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Up to `count` bytes (less when the time ran out).
    std::string ReadBytes(size_t count, std::chrono::milliseconds timeout);

    // How the peer ended the connection, waited for at most `timeout`.
    enum class End { StillOpen, Closed, Reset, HungUp };
    End WaitForEnd(std::chrono::milliseconds timeout);

private:
    bool Fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool terminal_ = false; // a hung-up terminal no longer says that it is one
    std::string buffer_;
};

} // namespace simtest
