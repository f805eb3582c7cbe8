// The printing, hard copy, beep and clipboard families of the exported table: thin entries
// over their units.
#include "Bramble.h"
#include "BrambleSwitches.h"
#include "Hdcopy.h"
#include "Prnsetup.h"
#include "Stdfunc.h"

bramble::TFormPrinterSetup* _FormPrinterSetup = nullptr;

BRAMBLE_API int _PrinterSelect()
{
    return bramble::RunPrinterSelect();
}

BRAMBLE_API int _PrinterSetup()
{
    return bramble::RunPrinterSetup();
}

BRAMBLE_API int _HdCopyToFile(HWND window, const char* name)
{
    return bramble::HardCopyToFile(window, name);
}

BRAMBLE_API int _HdCopyToPrn(HWND window, short placement, int begin, int end)
{
    return bramble::HardCopyToPrinter(window, placement, begin != 0, end != 0);
}

namespace {

bool BeepOn()
{
    return bramble::BeepEnabled() == 1;
}

} // namespace

BRAMBLE_API void _ErBeep()
{
    if (BeepOn()) {
        bramble::PlayErBeep();
    }
}

BRAMBLE_API void _OkBeep()
{
    if (BeepOn()) {
        bramble::PlayOkBeep();
    }
}

BRAMBLE_API void _AlBeep()
{
    if (BeepOn()) {
        bramble::PlayAlBeep();
    }
}

BRAMBLE_API void _CopyToClipboard(const char* text)
{
    bramble::SetClipboardText(text);
}

BRAMBLE_API void _PasteFromClipboard(char* buf, unsigned len)
{
    bramble::GetClipboardText(buf, len);
}
