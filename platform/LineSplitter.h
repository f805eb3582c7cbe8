#pragma once
// Bytes received on a stream, handed over one line at a time: the part of the TCP client's line
// read that involves no socket, so that it can be checked on its own.

#include <cstddef>
#include <string>

namespace qmr::platform {

class LineSplitter {
public:
    // Bytes kept while waiting for a terminator; beyond this the partial line is dropped so
    // that a peer that never sends a terminator cannot grow the buffer without bound.
    static constexpr std::size_t kMaxPending = 64 * 1024;

    explicit LineSplitter(std::size_t maxPending = kMaxPending) : maxPending_(maxPending) {}

    // Takes the first whole line that is buffered, without its terminator. With the
    // terminator "\n" a carriage return before it is dropped too. An empty terminator takes
    // whatever bytes are buffered. False (and `line` untouched) when there is none.
    bool Take(const std::string& terminator, std::string& line);
    // Adds received bytes, then takes a line as Take does; when there is still none and more
    // than the limit is buffered, the partial line is dropped.
    bool Feed(const char* bytes, std::size_t count, const std::string& terminator, std::string& line);

    const std::string& Pending() const { return pending_; }
    void Clear() { pending_.clear(); }

private:
    std::size_t maxPending_;
    std::string pending_;
};

} // namespace qmr::platform
