#pragma once
// Builds "APPPOS.POS" contents byte by byte, independent of the record structure in memory.

#include <algorithm>
#include <cstdint>
#include <string>

namespace winpostest {

inline void PutInt32(std::string& out, int32_t value)
{
    auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
}

// One 48-byte record; the caption field is filled with zeros after `caption` (which may
// take all 24 bytes, leaving no NUL).
inline std::string Record(int32_t left, int32_t top, int32_t width, int32_t height, const std::string& caption,
                          int32_t trust = 0)
{
    std::string out;
    PutInt32(out, left);
    PutInt32(out, top);
    PutInt32(out, width);
    PutInt32(out, height);
    PutInt32(out, trust);
    out.append(4, '\0');
    out += caption.substr(0, 24);
    out.append(24 - std::min<std::size_t>(caption.size(), 24), '\0');
    return out;
}

} // namespace winpostest
