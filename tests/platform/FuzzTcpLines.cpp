// Fuzz target: the TCP line read's splitting of received bytes into lines, fed in arbitrary
// chunks. Input: a byte choosing terminator and buffer limit, then steps of [length][bytes].
// Every line handed over must be the stream's next bytes up to the next terminator, and what
// stays buffered must be the rest of the stream, unless a too-long partial line was dropped.
#include "platform/LineSplitter.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kTerminators[] = {"\n", "\r\n", "\r", "", "ab", "\n\n", "#"};
constexpr std::size_t kLimits[] = {qmr::platform::LineSplitter::kMaxPending, 0, 1, 7, 64};

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

struct Stream {
    std::string term;
    std::string sent;      // every byte fed so far
    std::size_t taken = 0; // where the next line starts in `sent`

    void Line(const std::string& line)
    {
        std::size_t end = sent.size();
        std::size_t next = end;
        if (!term.empty()) {
            end = sent.find(term, taken);
            Check(end != std::string::npos);
            next = end + term.size();
            if (term == "\n" && end > taken && sent[end - 1] == '\r') {
                --end;
            }
        }
        Check(end > taken || !term.empty());
        Check(line == sent.substr(taken, end - taken));
        taken = next;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    Stream stream;
    stream.term = kTerminators[data[0] % 7];
    const std::size_t limit = kLimits[(data[0] / 7) % 5];
    qmr::platform::LineSplitter lines(limit);
    std::size_t pos = 1;
    while (pos < size) {
        const std::size_t wanted = data[pos++];
        const std::size_t length = std::min(wanted, size - pos);
        const char* bytes = reinterpret_cast<const char*>(data + pos);
        pos += length;
        const std::size_t before = lines.Pending().size();
        stream.sent.append(bytes, length);
        std::string line = "untouched";
        if (lines.Feed(bytes, length, stream.term, line)) {
            stream.Line(line);
        } else {
            Check(line == "untouched");
            if (before + length > limit) {
                stream.taken = stream.sent.size();
            }
        }
        while (lines.Take(stream.term, line)) {
            stream.Line(line);
        }
        Check(lines.Pending() == stream.sent.substr(stream.taken));
        Check(stream.term.empty() ? lines.Pending().empty() : lines.Pending().find(stream.term) == std::string::npos);
    }
    return 0;
}
