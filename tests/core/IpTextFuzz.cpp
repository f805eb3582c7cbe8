// Feeds arbitrary bytes to the dotted address helpers as a field of at most 16 bytes, held in a
// heap block of exactly that size so that the sanitizer sees any access past it.
#include "app/core/Appdefine.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t room = size < kIpTextSize ? size : kIpTextSize;
    std::vector<char> field(data, data + room);
    field.shrink_to_fit();
    char* text = field.data();

    const bool equal = IsIpEqualConst(text, room);
    const bool all255 = IsIpAll255(text, room);
    if (equal && all255) {
        std::abort(); // 0.0.5.0 and 255.255.255.255 exclude each other
    }
    if (NormalizeIpText(text, room) != text) {
        std::abort();
    }
    if (room == 0) {
        return 0;
    }
    // The rewrite is closed inside the field and holds only numbers, signs and dots.
    const size_t length = strnlen(text, room);
    if (length >= room) {
        std::abort();
    }
    int dots = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '.') {
            ++dots;
        } else if ((c < '0' || c > '9') && c != '-') {
            std::abort();
        }
    }
    if (dots > 3) {
        std::abort();
    }
    // A full rewrite of four parts reads back with the same verdicts.
    if (dots == 3 && length < room - 1 && text[length - 1] != '.') {
        std::vector<char> again(text, text + length + 1);
        NormalizeIpText(again.data(), again.size());
        if (std::strcmp(again.data(), text) != 0 || IsIpEqualConst(text, room) != equal) {
            std::abort();
        }
    }
    return 0;
}
