#include "Kfile.h"

#include "common/Kfile2.h"
#include "common/Vclfunc.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstring>
#include <memory>
#include <new>

namespace {

const char kWinPosFileName[] = "APPPOS.POS";

// A window this close to the right or bottom edge, or beyond it, could not be grabbed.
constexpr int kReachableMargin = 16;

int screenWidthSet = 0;
int screenHeightSet = 0;

// Cuts `text` (read at most 20 bytes far) into a caption field, zeros after the NUL.
void CutCaption(char (&field)[24], const char* text)
{
    char cut[kWinPosCaptionLength + 1];
    StrCopyN(cut, text != nullptr ? text : "", kWinPosCaptionLength);
    std::memset(field, 0, sizeof field);
    std::memcpy(field, cut, std::strlen(cut));
}

std::unique_ptr<CWinPosList>& TheList()
{
    static std::unique_ptr<CWinPosList> list;
    return list;
}

} // namespace

WinPosRecord MakeWinPosRecord(int left, int top, int width, int height, const char* caption)
{
    WinPosRecord record;
    record.left = left;
    record.top = top;
    record.width = width;
    record.height = height;
    CutCaption(record.caption, caption);
    return record;
}

CWinPosList::~CWinPosList()
{
    WinPosClear();
}

CWinPos* CWinPosList::WinPosFind(const char* caption) const
{
    for (CWinPos* node = head_.next; node != nullptr; node = node->next) {
        // Stored captions always hold their NUL within the field.
        if (std::strncmp(node->record.caption, caption, sizeof node->record.caption) == 0) {
            return node;
        }
    }
    return nullptr;
}

CWinPos* CWinPosList::WinPosPut(const WinPosRecord& record)
{
    if (CWinPos* node = WinPosFind(record.caption)) {
        node->record = record;
        return node;
    }
    auto* node = new (std::nothrow) CWinPos;
    if (node == nullptr) {
        return nullptr;
    }
    node->record = record;
    tail_->next = node;
    tail_ = node;
    return node;
}

void CWinPosList::WinPosLoad(const char* fileName)
{
    std::unique_ptr<KBinFile> file(OpenBinFile(fileName, 0));
    if (!file) {
        return;
    }
    WinPosRecord record;
    while (file->Read(&record, kWinPosRecordSize) == kWinPosRecordSize) {
        // A caption from the file gets the same cut as one given to a put, so that a field
        // without a NUL is never read past its end and every saved record is well formed.
        char raw[sizeof record.caption + 1] = {};
        std::memcpy(raw, record.caption, sizeof record.caption);
        CutCaption(record.caption, raw);
        WinPosPut(record);
    }
}

void CWinPosList::WinPosSave(const char* fileName) const
{
    // Replaced whole when it is closed, and only when every record went out.
    std::unique_ptr<KBinFile> file(OpenBinFileReplace(fileName));
    if (!file) {
        return;
    }
    for (const CWinPos* node = head_.next; node != nullptr; node = node->next) {
        if (file->Write(&node->record, kWinPosRecordSize) != 0) {
            break;
        }
    }
}

void CWinPosList::WinPosClear()
{
    CWinPos* node = head_.next;
    while (node != nullptr) {
        CWinPos* next = node->next;
        delete node;
        node = next;
    }
    head_.next = nullptr;
    tail_ = &head_;
}

bool CWinPosList::GetWinPosRecord(const char* caption, WinPosRecord* record) const
{
    char cut[sizeof record->caption];
    CutCaption(cut, caption);
    const CWinPos* node = WinPosFind(cut);
    if (node == nullptr) {
        return false;
    }
    const WinPosRecord& found = node->record;
    if (found.trust == 0) {
        int width = 0;
        int height = 0;
        if (!WinPosScreenSize(&width, &height)) {
            return false;
        }
        if (found.left < 0 || found.left > width - kReachableMargin || found.top < 0 ||
            found.top > height - kReachableMargin) {
            return false;
        }
    }
    *record = found;
    return true;
}

CWinPosList* WinPosList()
{
    return TheList().get();
}

void StartWinPosList(bool load)
{
    std::unique_ptr<CWinPosList>& list = TheList();
    if (!list) {
        list = std::make_unique<CWinPosList>();
    }
    list->WinPosInit();
    if (load) {
        list->WinPosLoad(kWinPosFileName);
    }
}

void ExitWinPosList(bool save)
{
    CWinPosList* list = WinPosList();
    if (list == nullptr) {
        return;
    }
    if (save) {
        list->WinPosSave(kWinPosFileName);
    }
    list->WinPosClear();
}

bool WinPosScreenSize(int* width, int* height)
{
    if (screenWidthSet > 0 && screenHeightSet > 0) {
        *width = screenWidthSet;
        *height = screenHeightSet;
        return true;
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    QRect geometry = screen->geometry();
    *width = geometry.width();
    *height = geometry.height();
    return true;
}

void WinPosSetScreenSize(int width, int height)
{
    screenWidthSet = width;
    screenHeightSet = height;
}
