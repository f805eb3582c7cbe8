#pragma once
// The process-wide log: a daily text file below "log/" and, when asked for, the console.
// Each line is "<date> <time> <tag>[ <text>]" and a line end; lines come from several threads
// at once and never interleave.

#include "platform/LocalTime.h"

#include <string>

// Opens log/<date><suffix>.log for appending (closing the file open before), creating the
// folder "log" when the first try fails. suffix 0 means none. True when a file is open.
bool LogOpenFile(char suffix);

// Takes the console; on failure logs "AllocConsole:Error". True when a console was taken.
bool LogOpenConsole();

// Writes one line of tag and text (text may be null: no text and no blank before it). Line
// feeds in the caller's tag and text become blanks first, also while logging is off. True
// when the line reached the console (while one is held) or was handed to the open file.
bool LogWrite(char* tag, char* text);

// LogWrite with the text "<n>".
bool LogWriteNum(char* tag, int n);

// Gives up the console, when one is held.
void LogCloseConsole();

// Closes the log file, waiting for a line being written.
void LogCloseFile();

// The texts a line and the file name are made of: "2026/12/08", "9:05:07" and
// "log/2026-12-08A.log" (suffix 'A').
std::string LogDateText(const qmr::platform::LocalDateTime& when);
std::string LogTimeText(const qmr::platform::LocalDateTime& when);
std::string LogFileName(const qmr::platform::LocalDateTime& when, char suffix);

// Where the log takes the current date and time from; null gives back the system clock.
// Change it only while no other thread logs (tests use a fixed time).
using LogClock = qmr::platform::LocalDateTime (*)();
void LogSetClock(LogClock clock);
