// Fuzz entry: any bytes as "APPPOS.POS"; load them, look up, put, save and load again.
#include "bramble/Bramble.h"
#include "bramble/Kfile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// One private working folder for the whole run, removed at exit.
std::filesystem::path workFolder;

void RemoveWorkFolder()
{
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(workFolder, ec);
}

void EnterWorkFolder()
{
    if (!workFolder.empty()) {
        return;
    }
    // A memory file system where there is one: every run rewrites the file three times.
    std::error_code ec;
    std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "qmrfuzz-winpos-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    workFolder = pattern;
    std::filesystem::current_path(workFolder);
    std::atexit(RemoveWorkFolder);
    WinPosSetScreenSize(1920, 1080);
}

void WriteInput(const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen("APPPOS.POS", "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (size > 0) {
        std::fwrite(data, 1, size, file);
    }
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    EnterWorkFolder();
    WriteInput(data, size);
    _StartWinPos();

    // Ask for every caption the file holds (bounded to its field) and for some fixed ones.
    for (size_t at = 0; at + 48 <= size; at += 48) {
        char caption[25] = {};
        std::memcpy(caption, data + at + 24, 24);
        short left = 0, top = 0, width = 0, height = 0;
        int got = _GetWinPos(&left, &top, &width, &height, caption);
        if (got != 0 && got != 1) {
            std::abort();
        }
        // Put back untrusted, it is handed back exactly when it lies on the screen.
        if (got == 1 && _SetWinPos(left, top, width, height, caption) == 1) {
            bool onScreen = left >= 0 && left <= 1920 - 16 && top >= 0 && top <= 1080 - 16;
            short again = 0;
            int gotAgain = _GetWinPos(&again, &top, &width, &height, caption);
            if (gotAgain != (onScreen ? 1 : 0) || (gotAgain == 1 && again != left)) {
                std::abort();
            }
        }
    }
    _SetWinPos(100, 50, 640, 480, "Main");
    _SetWinPos(-8, 5000, 1, 1, "");
    _ExitWinPos();

    // What was saved is whole records, and loads back to the same bytes.
    std::uintmax_t saved = std::filesystem::file_size("APPPOS.POS");
    if (saved % 48 != 0 || saved == 0) {
        std::abort();
    }
    std::string first(static_cast<size_t>(saved), '\0');
    std::FILE* file = std::fopen("APPPOS.POS", "rb");
    if (file == nullptr || std::fread(first.data(), 1, first.size(), file) != first.size()) {
        std::abort();
    }
    std::fclose(file);
    _StartWinPos();
    _ExitWinPos();
    file = std::fopen("APPPOS.POS", "rb");
    std::string second(first.size() + 1, '\0');
    size_t read = file != nullptr ? std::fread(second.data(), 1, second.size(), file) : 0;
    if (file != nullptr) {
        std::fclose(file);
    }
    if (read != first.size() || second.compare(0, read, first) != 0) {
        std::abort();
    }
    return 0;
}
