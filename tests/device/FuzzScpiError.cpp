// Fuzz target: error-queue replies, one a line, into the error collector. The code read from a
// reply must be the C library's reading of its leading decimal integer, held to int, and the
// reply must land in the class that code gives.
#include "app/instrument/Kmsgscpi.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

int ReferenceCode(const std::string& reply)
{
    const long value = std::strtol(reply.c_str(), nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KMessageScpiError collector;
    const std::string input(reinterpret_cast<const char*>(data), size);
    int errors = 0;
    bool fatal = false;
    std::size_t from = 0;
    while (from <= input.size()) {
        std::size_t end = input.find('\n', from);
        if (end == std::string::npos) {
            end = input.size();
        }
        // What the link hands over ends at its first zero byte.
        const std::string reply(input.substr(from, end - from).c_str());
        from = end + 1;

        const int code = KMessageScpiError::ParseCode(reply.c_str());
        Check(code == ReferenceCode(reply));
        const bool isFatal = code == -365 || code == -315 || code == -240;
        const bool isError = code < 0 && code != -500 && code != -800 && !isFatal;
        Check(KMessageScpiError::IsFatal(code) == isFatal && KMessageScpiError::IsError(code) == isError);
        Check(collector.Add(reply.c_str()) == (isFatal || isError));
        errors += isError ? 1 : 0;
        fatal = fatal || isFatal;
        Check(collector.GetErrorCount() == errors && collector.HasFatal() == fatal);
    }
    return 0;
}
