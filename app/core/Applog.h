#pragma once
// One line of the program's log. Bramble's log turns the line feeds of the texts it is given
// into blanks in place: it gets copies, so the caller's texts stay as they are.

#include "bramble/Bramble.h"

#include <string>

inline void LogLine(const char* tag, const std::string& text)
{
    std::string name = tag;
    std::string body = text;
    _WriteLog(name.data(), body.data());
}
