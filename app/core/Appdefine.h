#pragma once
// The settings file "APPSET.DAT": the communication settings block, the whole record, the
// settings object that loads, defaults and saves it, and the dotted address text helpers.

#include <bit>
#include <cstddef>
#include <cstdint>

// Texts in these blocks are closed by a zero byte inside their field when they are shorter
// than it; a field read from a file may lack one, so every use is bounded by the field.
constexpr std::size_t kIpTextSize = 16;
constexpr std::size_t kTerminatorSize = 3;

// 64 bytes, copied whole between the settings record, the device and the settings window.
// Integers are 32-bit little-endian, the host's own order (checked below).
struct ComSettings {
    int32_t Interface;                // 0 USB virtual COM; anything else LAN (written as 1)
    int32_t ComPort;                  // COM number, from 1
    char IpAddress[kIpTextSize];      // dotted IPv4 address of the instrument
    int32_t TcpPort;                  // the instrument's TCP server port
    char Terminator[kTerminatorSize]; // "\r", "\n" or "\r\n"
    char IpAddress2[kIpTextSize];     // second address text: only read
    char IpAddressAlt[kIpTextSize];   // alternative (automatically assigned) address: only read
    char Spare;                       // not interpreted, carried along
};

static_assert(std::endian::native == std::endian::little, "the file's integers are stored as the host holds them");
static_assert(sizeof(ComSettings) == 64);
static_assert(offsetof(ComSettings, Interface) == 0);
static_assert(offsetof(ComSettings, ComPort) == 4);
static_assert(offsetof(ComSettings, IpAddress) == 8);
static_assert(offsetof(ComSettings, TcpPort) == 24);
static_assert(offsetof(ComSettings, Terminator) == 28);
static_assert(offsetof(ComSettings, IpAddress2) == 31);
static_assert(offsetof(ComSettings, IpAddressAlt) == 47);
static_assert(offsetof(ComSettings, Spare) == 63);

constexpr int32_t kInterfaceUsb = 0;
constexpr int32_t kInterfaceLan = 1;

// The COM numbers a port can have. A stored number outside them names no port; the block
// keeps it as it is.
constexpr int32_t kComPortFirst = 1;
constexpr int32_t kComPortLast = 256;
constexpr bool IsComPortNumber(int64_t number)
{
    return number >= kComPortFirst && number <= kComPortLast;
}

// The whole of "APPSET.DAT": no header, no version, no checksum.
struct AppSetRecord {
    ComSettings Com;
    unsigned char Reserved[4]; // not interpreted; written back as read
};

static_assert(sizeof(AppSetRecord) == 68);
static_assert(offsetof(AppSetRecord, Com) == 0);
static_assert(offsetof(AppSetRecord, Reserved) == 64);

// Holds one record: loaded from "APPSET.DAT" in the current working directory, or the
// defaults; the destructor writes it back.
class KAppSetData {
public:
    KAppSetData();
    virtual ~KAppSetData();
    KAppSetData(const KAppSetData&) = delete;
    KAppSetData& operator=(const KAppSetData&) = delete;

    // True when the file was opened and all 68 bytes were read.
    bool Load();
    // True when the file now holds the 68 bytes; otherwise it stays as it was.
    bool Save();
    // USB, COM 1, "192.168.0.88", port 10001, terminator "\n", every other byte 0.
    void SetDefault();

    ComSettings* GetComSettings() { return &record_.Com; }
    AppSetRecord& Record() { return record_; }

private:
    AppSetRecord record_{};
};

// The one settings object of the process, between AppSetDataCreate and AppSetDataDelete.
extern KAppSetData* AppSetData;

// Creates the settings object (loaded or defaulted) and returns it; none when it cannot be made.
KAppSetData* AppSetDataCreate();
// Deletes the settings object, which writes the file; nothing when there is none.
void AppSetDataDelete();

// The address functions read at most `size` bytes of `text` (up to its first zero byte), so a
// 16-byte field without a zero byte is read safely.

// True when the text's first four dot-separated parts have the values 0, 0, 5, 0.
bool IsIpEqualConst(const char* text, std::size_t size = kIpTextSize);
// True when the text's first four dot-separated parts are each exactly "255".
bool IsIpAll255(const char* text, std::size_t size = kIpTextSize);
// Rewrites the text in place as up to four decimal numbers without leading zeros, a "." after
// each of the first three; returns the text. `size` is the room of the buffer, zero byte
// included: a result that would not fit is cut to its first size - 1 characters.
char* NormalizeIpText(char* text, std::size_t size = kIpTextSize);
