// A port that cannot be opened is logged with the device node tried and the reason.

#include "SerialTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(SerialOpenLog, NamesTheNodeAndTheReason)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair busy;
    qmrtest::PtyPair guarded;
    fs::create_directories("ports/../folder");
    fs::create_symlink("/nonexistent/tty", "ports/COM3");
    fs::create_symlink("../folder", "ports/COM4");
    busy.PublishAs(5);
    const int holder = open(busy.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    guarded.PublishAs(6);
    ASSERT_EQ(chmod(guarded.SlavePath().c_str(), 0600), 0);

    ASSERT_EQ(_StartLog(0, 0), 1);
    for (int index : {2, 3, 4, 199}) {
        EXPECT_EQ(_Rs232Open(index, serialtest::kSettings), -1) << index;
    }
    // Only an unprivileged user lacks the permission: as root, a child drops to one.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chmod(dir.Path().c_str(), 0711), 0);
        const pid_t child = fork();
        if (child == 0) {
            _exit(setgid(65534) == 0 && setuid(65534) == 0 && _Rs232Open(5, serialtest::kSettings) == -1 ? 0 : 1);
        }
        int status = 1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0);
    }
    _EndLog();
    close(holder);
    serialtest::CloseAllPorts();

    std::string log;
    for (const auto& entry : fs::directory_iterator("log")) {
        log += qmrtest::ReadFile(entry.path());
    }
    const std::string expected[] = {
        "COM3 ports/COM3 -> /nonexistent/tty: No such file or directory",
        "COM4 ports/COM4 -> ../folder: Is a directory",
        "COM5 ports/COM5 -> " + busy.SlavePath() + ": Device or resource busy",
        "COM200 (no device node): No such device",
        root ? "COM6 ports/COM6 -> " + guarded.SlavePath() + ": Permission denied" : "",
    };
    for (const std::string& line : expected) {
        EXPECT_NE(log.find("Rs232Open ERROR " + line), std::string::npos) << line << "\nin:\n" << log;
    }
}
