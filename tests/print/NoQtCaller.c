/* A plain C program linking libbramble.so, with no GUI application: the exports that need
   windows, the clipboard or a printer give their failure value and never crash; the beep
   switch and the beeps work without one. Exits 0 when every check holds. */
#include <stdio.h>
#include <string.h>

typedef void* HWND;
extern void* _FormPrinterSetup;
int _PrinterSelect(void);
int _PrinterSetup(void);
int _HdCopyToFile(HWND window, const char* name);
int _HdCopyToPrn(HWND window, short placement, int begin, int end);
unsigned char _EnbBeep(unsigned char on);
void _ErBeep(void);
void _OkBeep(void);
void _AlBeep(void);
void _CopyToClipboard(const char* text);
void _PasteFromClipboard(char* buf, unsigned len);

static int failures = 0;

static void check(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    /* Not a widget: a caller's stray pointer is compared, never followed. */
    char notAWindow[16] = "not a window";
    char buffer[6] = "xxxxx";
    static const char nuls[6] = {0};

    check(_PrinterSelect() == 0, "_PrinterSelect");
    check(_PrinterSetup() == 0, "_PrinterSetup");
    check(_FormPrinterSetup == NULL, "_FormPrinterSetup");
    check(_HdCopyToFile(notAWindow, "window.bmp") == 0, "_HdCopyToFile to a file");
    check(_HdCopyToFile(notAWindow, "CLIP") == 0, "_HdCopyToFile to the clipboard");
    check(_HdCopyToFile(notAWindow, NULL) == 0, "_HdCopyToFile to the printer");
    check(_HdCopyToFile(NULL, NULL) == 0, "_HdCopyToFile of no window");
    check(_HdCopyToPrn(notAWindow, 0, 1, 0) == 0, "_HdCopyToPrn begin");
    check(_HdCopyToPrn(notAWindow, 1, 0, 1) == 0, "_HdCopyToPrn end");
    _CopyToClipboard("text");
    _CopyToClipboard(NULL);
    _PasteFromClipboard(buffer, 5);
    check(memcmp(buffer, nuls, 6) == 0, "_PasteFromClipboard gives an empty text");
    _PasteFromClipboard(NULL, 5);
    check(_EnbBeep(1) == 1, "_EnbBeep");
    _ErBeep();
    _OkBeep();
    _AlBeep();
    check(strcmp(notAWindow, "not a window") == 0, "the caller's memory is untouched");
    return failures == 0 ? 0 : 1;
}
