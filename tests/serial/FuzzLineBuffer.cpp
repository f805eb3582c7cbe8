// Fuzz target: the line receive fed in arbitrary chunks, checked against a plain model of it.
// Input: a terminator choice, a max, then steps of [length byte][bytes]; length 0xFF is a
// failed read, 0 a read that brings nothing.

#include "bramble/Scom.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kTerminators[] = {"\n", "\r\n", "\r", "#", "", "ab", "\n\n"};

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// The receive as a plain string: a buffered line first, a full buffer dropped with the rest
// of its line, then a read.
struct Model {
    std::string buf;
    bool skipping = false;

    // Keeps only the longest trailing beginning of the terminator, never a whole full buffer.
    void KeepTerminatorStart(std::string_view term)
    {
        size_t keep = std::min({term.empty() ? 0 : term.size() - 1, buf.size(), size_t{254}});
        while (keep > 0 && buf.compare(buf.size() - keep, keep, term.substr(0, keep)) != 0) {
            --keep;
        }
        buf.erase(0, buf.size() - keep);
    }

    int Extract(std::string_view term, int max, std::string& out)
    {
        size_t k = term.empty() ? std::string::npos : buf.find(term);
        if (skipping && k != std::string::npos) { // the rest of a dropped line ends here
            buf.erase(0, k + term.size());
            skipping = false;
            k = buf.find(term);
        } else if (skipping) {
            KeepTerminatorStart(term);
        }
        if (k == std::string::npos) {
            return -1;
        }
        out = buf.substr(0, std::min(k, static_cast<size_t>(max)));
        buf.erase(0, k + term.size());
        return static_cast<int>(out.size());
    }

    int Receive(std::string_view term, int max, std::string& driver, bool fail, std::string& out)
    {
        if (Extract(term, max, out) >= 0) {
            return static_cast<int>(out.size());
        }
        if (buf.size() == 255) {
            KeepTerminatorStart(term);
            skipping = true;
        }
        if (fail) {
            return -1;
        }
        size_t n = std::min(driver.size(), 255 - buf.size());
        if (n == 0) {
            return -1;
        }
        buf.append(driver, 0, n);
        driver.erase(0, n);
        return Extract(term, max, out);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::string_view term = kTerminators[data[0] % (sizeof kTerminators / sizeof kTerminators[0])];
    const int max = data[1] % 140;
    size_t pos = 2;

    bramble::LineBuffer lb;
    Model model;
    std::string driver; // bytes waiting in the "device" for the real buffer
    std::string modelDriver;
    while (pos < size) {
        const uint8_t len = data[pos++];
        const bool fail = len == 0xFF;
        if (!fail) {
            size_t n = std::min(static_cast<size_t>(len), size - pos);
            driver.append(reinterpret_cast<const char*>(data + pos), n);
            modelDriver.append(reinterpret_cast<const char*>(data + pos), n);
            pos += n;
        }
        char out[140 + 1 + 8];
        std::memset(out, 0x5A, sizeof out);
        int r = lb.ReceiveLine(term, out, max, [&](char* dst, int room) {
            Check(room > 0 && room <= bramble::LineBuffer::kCapacity);
            Check(dst == lb.FreeSpace());
            if (fail) {
                return -1;
            }
            int n = std::min(room, static_cast<int>(driver.size()));
            std::memcpy(dst, driver.data(), static_cast<size_t>(n));
            driver.erase(0, static_cast<size_t>(n));
            return n;
        });
        std::string expected;
        int m = model.Receive(term, max, modelDriver, fail, expected);
        Check(r == m);
        Check(r <= max);
        if (r >= 0) {
            Check(std::string_view(out, static_cast<size_t>(r)) == expected);
            Check(out[r] == '\0');
            for (size_t i = static_cast<size_t>(r) + 1; i < sizeof out; ++i) {
                Check(out[i] == 0x5A);
            }
        } else {
            for (char c : out) {
                Check(c == 0x5A);
            }
        }
        Check(lb.Count() >= 0 && lb.Count() <= bramble::LineBuffer::kCapacity);
        Check(lb.Text()[lb.Count()] == '\0');
        Check(std::string_view(lb.Text(), static_cast<size_t>(lb.Count())) == model.buf);
        Check(lb.Skipping() == model.skipping);
        Check(driver == modelDriver);
    }
    return 0;
}
