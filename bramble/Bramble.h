#pragma once
// The exported function table of libbramble.so: plain C functions under their exact names.
// Strings and buffers passed in belong to the caller and are used only during the call.

// The header serves C callers as well.

#if defined(__cplusplus)
#define BRAMBLE_LINKAGE extern "C"
#else
#define BRAMBLE_LINKAGE extern
#endif
#if defined(BRAMBLE_BUILDING)
#define BRAMBLE_API BRAMBLE_LINKAGE __attribute__((visibility("default")))
#else
#define BRAMBLE_API BRAMBLE_LINKAGE
#endif

// Serial ports, addressed by port index 0..255 (index n is COM n+1).
BRAMBLE_API unsigned char _SetSioDmy(unsigned char on);
BRAMBLE_API int _Rs232Open(int index, const char* settings);
BRAMBLE_API void _Rs232Close(int index);
BRAMBLE_API void _Rs232Name(int index, const char* name);
BRAMBLE_API int _Rs232CrLf(int index, const char* term);
BRAMBLE_API unsigned char _Rs232Send(int index, const char* text, int len);
BRAMBLE_API unsigned char _Rs232SendN(int index, const void* data, int len);
// One line without its terminator: its length, or -1 when no complete line is there. errno
// then tells why: EAGAIN when none came in time; anything else when the port can no longer be
// read (EIO a hang-up, EBADF a closed or revoked descriptor or an empty slot).
BRAMBLE_API int _Rs232Recv(int index, char* buf, int max);
BRAMBLE_API int _Rs232RecvN(int index, char* buf, int n);
BRAMBLE_API int _Rs232RecvLen(int index);
BRAMBLE_API void _Rs232BufferClear(int index);
BRAMBLE_API unsigned char _Rs_GetSignalState(int index, unsigned long* state);
BRAMBLE_API unsigned char _Rs_SetSignalState(int index, int func);
BRAMBLE_API unsigned char _Rs_SetRts(int index);
BRAMBLE_API unsigned char _Rs_SetDtr(int index);
BRAMBLE_API unsigned char _Rs_SetBreak(int index);
BRAMBLE_API unsigned char _Rs_ClrRts(int index);
BRAMBLE_API unsigned char _Rs_ClrDtr(int index);
BRAMBLE_API unsigned char _Rs_ClrBreak(int index);

// The dummy port's window (a port opened while dummy mode is on). The variable is there for
// callers that look for it; it stays null, since each dummy port keeps its own window.
#if defined(__cplusplus)
namespace bramble {
class TFormDlgSioDmy;
}
typedef bramble::TFormDlgSioDmy TFormDlgSioDmy;
#else
typedef struct TFormDlgSioDmy TFormDlgSioDmy;
#endif
BRAMBLE_API TFormDlgSioDmy* _FormDlgSioDmy;

// Printing, window hard copy, beeps and clipboard text. A window handle is the QWidget* of a
// window of the caller's GUI application; these run on its GUI thread, and without one they
// fail (0) or do nothing.
typedef void* HWND;
#if defined(__cplusplus)
namespace bramble {
class TFormPrinterSetup;
}
typedef bramble::TFormPrinterSetup TFormPrinterSetup;
#else
typedef struct TFormPrinterSetup TFormPrinterSetup;
#endif
// The holder of the printer dialog while `_PrinterSelect` or `_PrinterSetup` runs, else null.
BRAMBLE_API TFormPrinterSetup* _FormPrinterSetup;
BRAMBLE_API int _PrinterSelect();
BRAMBLE_API int _PrinterSetup();
// name "CLIP": to the clipboard; null: printed alone, centred; any other: a BMP file.
BRAMBLE_API int _HdCopyToFile(HWND window, const char* name);
// placement 0 top, 1 centre, 2 bottom; begin starts a print job, end prints its one page.
BRAMBLE_API int _HdCopyToPrn(HWND window, short placement, int begin, int end);
// The switch that the beeps obey (1 when loaded: on; they sound only while it is exactly 1).
BRAMBLE_API unsigned char _EnbBeep(unsigned char on);
BRAMBLE_API void _ErBeep();
BRAMBLE_API void _OkBeep();
BRAMBLE_API void _AlBeep();
BRAMBLE_API void _CopyToClipboard(const char* text);
// At most len bytes of the clipboard's text, NUL-filled; buf holds len + 1 bytes.
BRAMBLE_API void _PasteFromClipboard(char* buf, unsigned len);

// Log file and console.
BRAMBLE_API unsigned char _WriteLog(char* name, char* text);
BRAMBLE_API unsigned char _WriteNumLog(char* name, int n);
BRAMBLE_API unsigned char _StartLog(int console, int suffix);
BRAMBLE_API void _EndLog();

// Window positions ("APPPOS.POS").
BRAMBLE_API unsigned char _SetWinPos(short left, short top, short width, short height, const char* caption);
BRAMBLE_API void _StartWinPos();
BRAMBLE_API void _ExitWinPos();
BRAMBLE_API int _GetWinPos(short* left, short* top, short* width, short* height, const char* caption);
