#include "Logfile.h"

#include "platform/Console.h"
#include "platform/Folder.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

using qmr::platform::LocalDateTime;

// Console output value while no console is held (distinct from the invalid output).
constexpr int kNoConsole = -2;

const char kLogFolder[] = "log";

struct LogState {
    std::mutex lock; // one line's write and flush, or an open or close of the file
    std::FILE* file = nullptr;
    std::string fileName;
    std::atomic<int> consoleOutput{kNoConsole};
    std::atomic<LogClock> clock{nullptr};
};

LogState& State()
{
    static LogState state;
    return state;
}

LocalDateTime Now()
{
    LogClock clock = State().clock.load();
    return clock != nullptr ? clock() : qmr::platform::LocalNow();
}

void BlankLineFeeds(char* text)
{
    if (text == nullptr) {
        return;
    }
    for (char* p = std::strchr(text, '\n'); p != nullptr; p = std::strchr(p + 1, '\n')) {
        *p = ' ';
    }
}

// Room for "<date> <time> " whatever the clock says (each field is at most an int).
constexpr std::size_t kStampRoom = 6 * 12 + 8;
// Lines up to this size are built on the stack; longer ones get a buffer of their own.
constexpr std::size_t kShortLine = 512;

// Digits of `value` at `out`, at least `width` of them (zeros in front); the end.
char* PutNumber(char* out, int value, int width)
{
    char digits[12];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (int fill = width - static_cast<int>(end - digits); fill > 0; --fill) {
        *out++ = '0';
    }
    return std::copy(digits, end, out);
}

// "2026/12/08" at `out`; the end.
char* PutDate(char* out, const LocalDateTime& when)
{
    out = PutNumber(out, when.year, 4);
    *out++ = '/';
    out = PutNumber(out, when.month, 2);
    *out++ = '/';
    return PutNumber(out, when.day, 2);
}

// "9:05:07" at `out`; the end.
char* PutTime(char* out, const LocalDateTime& when)
{
    out = PutNumber(out, when.hour, 1);
    *out++ = ':';
    out = PutNumber(out, when.minute, 2);
    *out++ = ':';
    return PutNumber(out, when.second, 2);
}

void CloseFileLocked(LogState& state)
{
    if (state.file != nullptr) {
        std::fclose(state.file);
        state.file = nullptr;
        state.fileName.clear();
    }
}

// Hands bytes to the open file and flushes them; false when no file is open.
bool PutToFile(const char* data, std::size_t size)
{
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file == nullptr) {
        return false;
    }
    // A failed write or flush is not reported: the line counts as handed over.
    std::fwrite(data, 1, size, state.file);
    std::fflush(state.file);
    return true;
}

} // namespace

std::string LogDateText(const LocalDateTime& when)
{
    char text[kStampRoom];
    return std::string(text, PutDate(text, when));
}

std::string LogTimeText(const LocalDateTime& when)
{
    char text[kStampRoom];
    return std::string(text, PutTime(text, when));
}

std::string LogFileName(const LocalDateTime& when, char suffix)
{
    std::string date = LogDateText(when);
    for (char& c : date) {
        if (c == '/') {
            c = '-';
        }
    }
    std::string name = std::string(kLogFolder) + "/" + date;
    if (suffix != 0) {
        name += suffix;
    }
    return name + ".log";
}

void LogSetClock(LogClock clock)
{
    State().clock.store(clock);
}

bool LogOpenFile(char suffix)
{
    std::string name = LogFileName(Now(), suffix);
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    CloseFileLocked(state);
    // Line ends are written as CR LF by the line builder; the stream adds nothing.
    state.file = std::fopen(name.c_str(), "ab");
    if (state.file == nullptr) {
        qmr::platform::MakeFolder(kLogFolder);
        state.file = std::fopen(name.c_str(), "ab");
    }
    if (state.file != nullptr) {
        state.fileName = name;
    }
    return state.file != nullptr;
}

bool LogOpenConsole()
{
    if (!qmr::platform::ConsoleAlloc()) {
        char tag[] = "AllocConsole:Error";
        LogWrite(tag, nullptr);
        return false;
    }
    int output = qmr::platform::ConsoleStdOutput();
    State().consoleOutput.store(output);
    if (output == qmr::platform::kInvalidConsoleOutput) {
        char tag[] = "GetStdHandle:Error";
        LogWrite(tag, nullptr);
    }
    return true;
}

bool LogWrite(char* tag, char* text)
{
    BlankLineFeeds(tag);
    BlankLineFeeds(text);
    const char* tagText = tag != nullptr ? tag : "";

    // The line is built outside the lock; only its write and flush are serialised.
    char stamp[kStampRoom];
    LocalDateTime now = Now();
    char* stampEnd = PutDate(stamp, now);
    *stampEnd++ = ' ';
    stampEnd = PutTime(stampEnd, now);
    *stampEnd++ = ' ';
    std::size_t stampLength = static_cast<std::size_t>(stampEnd - stamp);
    std::size_t tagLength = std::strlen(tagText);
    std::size_t textLength = text != nullptr ? std::strlen(text) : 0;
    std::size_t lineLength = stampLength + tagLength + (text != nullptr ? 1 + textLength : 0) + 2;

    char shortLine[kShortLine];
    std::unique_ptr<char[]> longLine;
    char* line = shortLine;
    if (lineLength > sizeof shortLine) {
        longLine.reset(new (std::nothrow) char[lineLength]);
        line = longLine.get();
    }
    const char* data;
    std::size_t size;
    bool whole = line != nullptr;
    if (whole) {
        char* p = std::copy(stamp, stampEnd, line);
        p = std::copy(tagText, tagText + tagLength, p);
        if (text != nullptr) {
            *p++ = ' ';
            p = std::copy(text, text + textLength, p);
        }
        *p++ = '\r';
        *p++ = '\n';
        data = line;
        size = lineLength;
    } else {
        // Without memory for the line the tag alone goes out, as a trace that something happened.
        data = tagText;
        size = tagLength;
    }

    bool result = PutToFile(data, size);

    int console = State().consoleOutput.load();
    if (console != kNoConsole) {
        if (whole) {
            // The console takes a bare line feed.
            line[size - 2] = '\n';
            --size;
        }
        result = qmr::platform::ConsoleWrite(console, data, size);
    }
    return result;
}

bool LogWriteNum(char* tag, int n)
{
    char number[16];
    char* p = number;
    *p++ = '<';
    p = std::to_chars(p, number + sizeof number - 2, n).ptr;
    *p++ = '>';
    *p = '\0';
    return LogWrite(tag, number);
}

void LogCloseConsole()
{
    if (State().consoleOutput.exchange(kNoConsole) != kNoConsole) {
        qmr::platform::ConsoleFree();
    }
}

void LogCloseFile()
{
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    CloseFileLocked(state);
}
