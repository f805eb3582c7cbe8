// The log family of the exported table: thin entries over the log unit.
#include "Bramble.h"
#include "Logfile.h"

unsigned char _StartLog(int console, int suffix)
{
    // Only exactly 1 asks for a console; the result tells only about the file.
    if (console == 1) {
        LogOpenConsole();
    }
    return LogOpenFile(static_cast<char>(suffix & 0xFF)) ? 1 : 0;
}

void _EndLog()
{
    LogCloseConsole();
    LogCloseFile();
}

unsigned char _WriteLog(char* name, char* text)
{
    return LogWrite(name, text) ? 1 : 0;
}

unsigned char _WriteNumLog(char* name, int n)
{
    return LogWriteNum(name, n) ? 1 : 0;
}
