#pragma once
// Remembered window positions: one record per window caption, held in a list between the
// load of "APPPOS.POS" at start and its save at exit.

#include <bit>
#include <cstddef>
#include <cstdint>

// Captions are cut to this many bytes, both when stored and when looked up.
constexpr int kWinPosCaptionLength = 20;

// One window's position, the same in memory and in the file (little-endian, 48 bytes).
struct WinPosRecord {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t trust = 0; // nonzero: handed back without the on-screen test; this library writes 0
    uint8_t reserved[4] = {};
    char caption[24] = {}; // at most 20 characters, a NUL and zeros
};
static_assert(sizeof(WinPosRecord) == 48);
static_assert(offsetof(WinPosRecord, left) == 0);
static_assert(offsetof(WinPosRecord, top) == 4);
static_assert(offsetof(WinPosRecord, width) == 8);
static_assert(offsetof(WinPosRecord, height) == 12);
static_assert(offsetof(WinPosRecord, trust) == 16);
static_assert(offsetof(WinPosRecord, reserved) == 20);
static_assert(offsetof(WinPosRecord, caption) == 24);
static_assert(std::endian::native == std::endian::little, "records are stored as they lie in memory");

// Size of the file's records.
constexpr int kWinPosRecordSize = static_cast<int>(sizeof(WinPosRecord));

// A record of the four values and the caption's first 20 bytes; trust and reserved 0.
WinPosRecord MakeWinPosRecord(int left, int top, int width, int height, const char* caption);

// A node of the list.
class CWinPos {
public:
    CWinPos* next = nullptr;
    WinPosRecord record;
};

// The positions in order of first insertion, at most one per caption.
class CWinPosList {
public:
    CWinPosList() = default;
    ~CWinPosList();
    CWinPosList(const CWinPosList&) = delete;
    CWinPosList& operator=(const CWinPosList&) = delete;

    // Empties the list.
    void WinPosInit() { WinPosClear(); }
    // The node whose caption equals `caption` (already cut) byte for byte, or null.
    CWinPos* WinPosFind(const char* caption) const;
    // Replaces the record of an equal caption in place, or appends a copy at the tail. The
    // node, or null when no memory could be had for a new one.
    CWinPos* WinPosPut(const WinPosRecord& record);
    // Puts every whole record of the file; a missing file changes nothing. Each caption is
    // cut to 20 bytes as a stored one is, also one with no NUL within its field.
    void WinPosLoad(const char* fileName);
    // Writes the records in list order as the file's whole new content; when that cannot be
    // done whole, the file stays as it was.
    void WinPosSave(const char* fileName) const;
    // Frees every node.
    void WinPosClear();
    // The record of the caption's first 20 bytes, when it is trusted or would show on the
    // primary screen: 0 <= left <= screen width - 16 and 0 <= top <= screen height - 16.
    bool GetWinPosRecord(const char* caption, WinPosRecord* record) const;

    const CWinPos* First() const { return head_.next; }

private:
    CWinPos head_; // holds no record
    CWinPos* tail_ = &head_;
};

// The library's list: null until StartWinPosList, kept (maybe emptied) from then on.
CWinPosList* WinPosList();
// Empties the list (making it on the first call) and, with `load`, loads "APPPOS.POS".
void StartWinPosList(bool load);
// With `save` writes "APPPOS.POS", then empties the list. Nothing happens before a start, so
// that a file never loaded is never overwritten.
void ExitWinPosList(bool save);

// Pixel size of the primary screen; false when there is none (no GUI application).
bool WinPosScreenSize(int* width, int* height);
// Makes WinPosScreenSize report this size (tests); a width or height of 0 or less gives
// back the real screen.
void WinPosSetScreenSize(int width, int height);
