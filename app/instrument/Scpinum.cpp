#include "app/instrument/Scpinum.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace scpinum {

namespace {

// Where a number may begin: after the blanks that the C library's readers skip.
const char* SkipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') {
        ++p;
    }
    return p;
}

} // namespace

int ParseLeadingInt(const char* text)
{
    if (text == nullptr) {
        return 0;
    }
    const char* p = SkipBlanks(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    constexpr long long kMax = std::numeric_limits<int>::max();
    constexpr long long kMin = std::numeric_limits<int>::min();
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= -kMin) {
            value = value * 10 + (*p - '0');
        }
    }
    if (negative) {
        return value >= -kMin ? static_cast<int>(kMin) : static_cast<int>(-value);
    }
    return value >= kMax ? static_cast<int>(kMax) : static_cast<int>(value);
}

double ParseLeadingDecimal(const char* text)
{
    if (text == nullptr) {
        return 0.0;
    }
    const char* p = SkipBlanks(text);
    // from_chars takes no leading plus; a minus it reads itself.
    if (*p == '+' && p[1] != '-' && p[1] != '+') {
        ++p;
    }
    double value = 0.0;
    const auto result = std::from_chars(p, p + std::strlen(p), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: saturate by the text's sign and size.
        const bool negative = *p == '-';
        const char* digits = negative ? p + 1 : p;
        const char* e = std::strpbrk(digits, "eE");
        const bool tiny = e != nullptr && e[1] == '-';
        if (tiny) {
            return 0.0;
        }
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (result.ec != std::errc()) {
        return 0.0;
    }
    return value;
}

int16_t SaturateInt16(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 32767.0) {
        return 32767;
    }
    if (value <= -32768.0) {
        return -32768;
    }
    return static_cast<int16_t>(value);
}

int16_t SaturateInt16(long long value)
{
    if (value > 32767) {
        return 32767;
    }
    if (value < -32768) {
        return -32768;
    }
    return static_cast<int16_t>(value);
}

std::string FormatInt(long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatTenths(int value)
{
    const long long v = value;
    const long long magnitude = v < 0 ? -v : v;
    std::string text = v < 0 ? "-" : "";
    text += FormatInt(magnitude / 10);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

} // namespace scpinum
