#include "app/core/Appdefine.h"

#include "common/Kfile2.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

KAppSetData* AppSetData = nullptr;

namespace {

constexpr const char* kFileName = "APPSET.DAT";
constexpr int kRecordSize = static_cast<int>(sizeof(AppSetRecord));
constexpr int kMaxParts = 4;

// The dot-separated parts of an address text, as views into `work`; parts after the fourth are
// ignored. `work` is the text (at most `size` bytes, up to its zero byte) with one "." appended,
// so the last part is closed like the others.
struct AddressParts {
    std::string work;
    std::string_view part[kMaxParts];
    int count = 0;
};

void SplitAddress(const char* text, std::size_t size, AddressParts& parts)
{
    parts.work.assign(text, strnlen(text, size));
    parts.work.push_back('.');
    std::size_t position = 0;
    const std::string_view work(parts.work);
    while (parts.count < kMaxParts) {
        const std::size_t dot = work.find('.', position);
        if (dot == std::string_view::npos) {
            break;
        }
        parts.part[parts.count++] = work.substr(position, dot - position);
        position = dot + 1;
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a part as the C library's decimal text-to-long conversion does (leading blanks, an
// optional sign, digits up to the first other character; nothing numeric gives 0; out of range
// saturates), but without depending on the process locale.
long PartValue(std::string_view part)
{
    std::size_t i = 0;
    while (i < part.size() && IsBlank(part[i])) {
        ++i;
    }
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    // Accumulate towards the negative side, which has the larger range.
    long value = 0;
    bool saturated = false;
    for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
        const int digit = part[i] - '0';
        if (value < (LONG_MIN + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated) {
        return negative ? LONG_MIN : LONG_MAX;
    }
    if (negative) {
        return value;
    }
    return value == LONG_MIN ? LONG_MAX : -value;
}

} // namespace

KAppSetData::KAppSetData()
{
    if (!Load()) {
        SetDefault();
    }
}

KAppSetData::~KAppSetData()
{
    Save();
}

bool KAppSetData::Load()
{
    KBinFile* file = OpenBinFile(kFileName, 0);
    if (file == nullptr) {
        return false;
    }
    file->Read(&record_, kRecordSize);
    const bool ok = file->GetError() == KFile::kErrNone;
    delete file;
    return ok;
}

bool KAppSetData::Save()
{
    // Replaced whole: a write that fails or is cut short leaves the operator's old settings.
    KBinFile* file = OpenBinFileReplace(kFileName);
    if (file == nullptr) {
        return false;
    }
    file->Write(&record_, kRecordSize);
    file->Close();
    const bool ok = file->GetError() == KFile::kErrNone;
    delete file;
    return ok;
}

void KAppSetData::SetDefault()
{
    record_ = AppSetRecord{};
    ComSettings& com = record_.Com;
    com.Interface = kInterfaceUsb;
    com.ComPort = 1;
    std::memcpy(com.IpAddress, "192.168.0.88", sizeof "192.168.0.88");
    com.TcpPort = 10001;
    com.Terminator[0] = '\n';
}

KAppSetData* AppSetDataCreate()
{
    // At most one object: a second create first saves and frees the one before.
    AppSetDataDelete();
    try {
        AppSetData = new KAppSetData();
    } catch (...) {
        AppSetData = nullptr;
    }
    return AppSetData;
}

void AppSetDataDelete()
{
    KAppSetData* data = AppSetData;
    AppSetData = nullptr;
    delete data;
}

bool IsIpEqualConst(const char* text, std::size_t size)
{
    if (text == nullptr) {
        return false;
    }
    static constexpr long kExpected[kMaxParts] = {0, 0, 5, 0};
    AddressParts parts;
    SplitAddress(text, size, parts);
    for (int i = 0; i < kMaxParts; ++i) {
        if (i >= parts.count || PartValue(parts.part[i]) != kExpected[i]) {
            return false;
        }
    }
    return true;
}

bool IsIpAll255(const char* text, std::size_t size)
{
    if (text == nullptr) {
        return false;
    }
    AddressParts parts;
    SplitAddress(text, size, parts);
    for (int i = 0; i < kMaxParts; ++i) {
        if (i >= parts.count || parts.part[i] != "255") {
            return false;
        }
    }
    return true;
}

char* NormalizeIpText(char* text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return text;
    }
    AddressParts parts;
    SplitAddress(text, size, parts);
    std::string result;
    for (int i = 0; i < parts.count; ++i) {
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, PartValue(parts.part[i]));
        result.append(digits, written.ptr);
        if (i < kMaxParts - 1) {
            result.push_back('.');
        }
    }
    // Parts of more than three digits, or empty parts (each becomes "0"), can make the result
    // longer than the text was: it is cut to the room of the field.
    const std::size_t length = result.size() < size - 1 ? result.size() : size - 1;
    std::memcpy(text, result.data(), length);
    text[length] = '\0';
    return text;
}
