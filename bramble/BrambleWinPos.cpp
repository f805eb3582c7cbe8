// The window-position family of the exported table: thin entries over the position list.
#include "Bramble.h"
#include "Kfile.h"

void _StartWinPos()
{
    StartWinPosList(true);
}

void _ExitWinPos()
{
    ExitWinPosList(true);
}

unsigned char _SetWinPos(short left, short top, short width, short height, const char* caption)
{
    // Before the first start there is no list to keep the position in.
    CWinPosList* list = WinPosList();
    if (list == nullptr) {
        return 0;
    }
    return list->WinPosPut(MakeWinPosRecord(left, top, width, height, caption)) != nullptr ? 1 : 0;
}

int _GetWinPos(short* left, short* top, short* width, short* height, const char* caption)
{
    CWinPosList* list = WinPosList();
    WinPosRecord record;
    if (list == nullptr || !list->GetWinPosRecord(caption, &record)) {
        return 0;
    }
    // The low 16 bits of each value.
    auto put = [](short* out, int32_t value) {
        if (out != nullptr) {
            *out = static_cast<short>(value);
        }
    };
    put(left, record.left);
    put(top, record.top);
    put(width, record.width);
    put(height, record.height);
    return 1;
}
