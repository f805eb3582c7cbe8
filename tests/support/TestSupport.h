#pragma once
// Helpers shared by the tests: a private working folder per test, pseudo-terminal pairs,
// bounded waits on conditions.

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace qmrtest {

// Built with AddressSanitizer or ThreadSanitizer: every call and thread hand-over is several
// times slower and freed memory is kept aside for a while, so timings and memory figures say
// little.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif
#else
inline constexpr bool kSanitizerBuild = false;
#endif

// Makes a fresh temporary folder and makes it the current working directory; the previous
// working directory comes back and the folder is removed when the object goes.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// Waits until `fd` has something to read (or its other side went away); false when the
// deadline passed first or the wait failed.
bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline);

// A pseudo-terminal pair in raw mode. The slave side is what the code under test opens (by
// its path, or through a ports/COMn link); the test talks through the master descriptor.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Publishes the slave as ports/COM<n> in the current working directory.
    void PublishAs(int comNumber) const;

    // Writes all bytes to the master side; true when all were written.
    bool Write(const std::string& bytes) const;
    // Reads what arrives on the master side until `count` bytes came or the time ran out.
    std::string Read(size_t count, std::chrono::milliseconds timeout) const;
    // Reads until `terminator` arrived (returned with it) or the time ran out.
    std::string ReadUntil(const std::string& terminator, std::chrono::milliseconds timeout) const;
    // Closes the master side: the slave sees a hang-up.
    void HangUp();

private:
    int master_ = -1;
    int slaveKeep_ = -1; // held open so that the slave does not report hang-ups before use
    std::string slavePath_;
};

// Polls `done` every millisecond until it holds or `timeout` passed; true when it held.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The project's source folder (from the test environment, else the compiled-in path).
std::filesystem::path SourceDir();

// Writes `bytes` to `path` (binary), replacing the file.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file (binary); empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// The names that a shared library exports (its defined dynamic symbols, as `nm -D` lists
// them); empty when the listing fails.
std::set<std::string> ExportedSymbols(const std::filesystem::path& library);

} // namespace qmrtest
