// "APPSET.DAT" and "APPPOS.POS" are replaced whole: in a child process whose file size limit
// makes every write (or every write past a few bytes) fail, the old file stays as it was;
// without a limit the new content takes its place, and nothing is left beside it.
#include "app/core/Appdefine.h"
#include "bramble/Bramble.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void WriteSettings()
{
    KAppSetData settings; // loaded, then saved by its destructor
    settings.GetComSettings()->TcpPort = 4242;
}

void WritePositions()
{
    _StartWinPos();
    _SetWinPos(10, 20, 300, 200, "Another window");
    _ExitWinPos();
}

struct ReplaceCase {
    const char* name;
    const char* file;
    void (*write)();
    long limit; // the child's file size limit in bytes; -1: none
};

void PrintTo(const ReplaceCase& c, std::ostream* out)
{
    *out << c.name;
}

// Runs `write` in a child process with the limit; a write past it fails (SIGXFSZ ignored).
void RunInChild(const ReplaceCase& c)
{
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        if (c.limit >= 0) {
            const rlimit limit{static_cast<rlim_t>(c.limit), static_cast<rlim_t>(c.limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        c.write();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class FileReplace : public ::testing::TestWithParam<ReplaceCase> {
protected:
    qmrtest::ScopedWorkDir dir_;
};

TEST_P(FileReplace, OldFileStaysUnlessTheNewOneIsWhole)
{
    const ReplaceCase& c = GetParam();
    // Read as a settings record (its first 68 bytes) or as two position records whose captions
    // lack their zero byte: either way the rewrite differs from it.
    const std::string old(96, 'o');
    qmrtest::WriteFile(c.file, old);
    RunInChild(c);
    const std::string now = qmrtest::ReadFile(c.file);
    if (c.limit >= 0) {
        EXPECT_EQ(now, old);
    } else {
        EXPECT_NE(now, old);
        EXPECT_FALSE(now.empty());
    }
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "a new file was left beside " << c.file;
}

INSTANTIATE_TEST_SUITE_P(Files, FileReplace,
                         ::testing::Values(ReplaceCase{"settingsNoRoom", "APPSET.DAT", WriteSettings, 0},
                                           ReplaceCase{"settingsCutShort", "APPSET.DAT", WriteSettings, 40},
                                           ReplaceCase{"settingsWritten", "APPSET.DAT", WriteSettings, -1},
                                           ReplaceCase{"positionsNoRoom", "APPPOS.POS", WritePositions, 0},
                                           ReplaceCase{"positionsCutShort", "APPPOS.POS", WritePositions, 60},
                                           ReplaceCase{"positionsWritten", "APPPOS.POS", WritePositions, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
