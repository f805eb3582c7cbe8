/* A plain C caller of libbramble.so without any GUI application: the exports that need
   windows, the clipboard or a printer fail (0) or do nothing, and never crash. */
#include <stdio.h>
#include <string.h>

extern void* _FormPrinterSetup;
int _PrinterSelect(void);
int _PrinterSetup(void);
int _HdCopyToFile(void* window, const char* name);
int _HdCopyToPrn(void* window, short placement, int begin, int end);
void _OkBeep(void);
void _CopyToClipboard(const char* text);
void _PasteFromClipboard(char* buf, unsigned len);

int main(void)
{
    char notAWindow[] = "not a window"; /* compared, never followed */
    char buffer[6] = "xxxxx";
    _CopyToClipboard("text");
    _PasteFromClipboard(buffer, 5);
    _PasteFromClipboard(NULL, 5);
    _OkBeep();
    const int results[] = {_PrinterSelect(),
                           _PrinterSetup(),
                           _HdCopyToFile(notAWindow, "w.bmp"),
                           _HdCopyToFile(notAWindow, "CLIP"),
                           _HdCopyToFile(notAWindow, NULL),
                           _HdCopyToPrn(notAWindow, 0, 1, 0),
                           _HdCopyToPrn(notAWindow, 1, 0, 1)};
    int failures = _FormPrinterSetup != NULL || memcmp(buffer, "\0\0\0\0\0", 6) != 0;
    for (unsigned i = 0; i < sizeof results / sizeof results[0]; ++i) {
        failures += results[i] != 0;
    }
    if (failures != 0 || strcmp(notAWindow, "not a window") != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    return 0;
}
