#include "common/Kprocess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qmrtest::ReadFile;
using qmrtest::WaitFor;
using qmrtest::WriteFile;

namespace {

// A script that writes each of its arguments on a line of `record` (in the working folder).
std::string RecordingScript(const std::string& record, const std::string& before = "")
{
    return "#!/bin/sh\n" + before + "printf '%s\\n' \"$@\" > " + record + ".tmp\nmv " + record + ".tmp " + record +
           "\n";
}

void WriteScript(const fs::path& path, const std::string& text, bool executable)
{
    WriteFile(path, text);
    fs::permissions(path, executable ? fs::perms(0755) : fs::perms(0644));
}

// The processes whose parent is this test (running ones and zombies alike).
std::vector<pid_t> ChildrenOfThisProcess()
{
    std::vector<pid_t> children;
    const pid_t self = getpid();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat;
        try {
            stat = ReadFile(entry.path() / "stat");
        } catch (const std::ios_base::failure&) {
            // The process ended between the open and the read (other tests run beside this
            // one); a child that ended stays listed until it is reaped, so this was none.
            continue;
        }
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == self) {
            children.push_back(static_cast<pid_t>(std::stoi(name)));
        }
    }
    return children;
}

// Brings PATH back when it goes: the tests after one that changed it look programs up as before.
class ScopedPath {
public:
    ScopedPath()
    {
        const char* path = std::getenv("PATH");
        saved_ = path != nullptr ? path : "/usr/bin:/bin";
    }
    ~ScopedPath() { setenv("PATH", saved_.c_str(), 1); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

    const std::string& Saved() const { return saved_; }

private:
    std::string saved_;
};

// Puts a folder with a fake desktop opener first on PATH: it records its arguments in
// `opened` and then stays until `release` appears (at most 10 s), so that a test can tell
// that nothing waited for it.
struct FakeOpener {
    explicit FakeOpener(const fs::path& folder)
        : bin(folder / "bin"), opened(folder / "opened"), release(folder / "release")
    {
        fs::create_directories(bin);
        WriteScript(bin / "xdg-open",
                    "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + opened.string() + ".tmp'\nmv '" + opened.string() +
                        ".tmp' '" + opened.string() + "'\ni=0\nwhile [ ! -e '" + release.string() +
                        "' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n",
                    true);
        setenv("PATH", (bin.string() + ":" + path.Saved()).c_str(), 1);
    }
    ~FakeOpener() { WriteFile(release, ""); }

    fs::path bin;
    fs::path opened;
    fs::path release;
    ScopedPath path;
};

} // namespace

TEST(Kprocess, HiddenScriptIsWaitedForUntilItEnds)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("chkip.bat", RecordingScript("chkip.res", "sleep 0.3\n"), false);
    EXPECT_TRUE(RunProcessWait("chkip.bat", "127.0.0.1", KProcess::kShowHidden));
    // Written after the delay, so it is there only when the wait covered the whole run.
    EXPECT_EQ(ReadFile("chkip.res"), "127.0.0.1\n");
}

TEST(Kprocess, HiddenStartHasNullStreamsAndNoInheritedDescriptors)
{
    qmrtest::ScopedWorkDir dir;
    const int open = ::open("held-open", O_CREAT | O_RDWR, 0644); // not close-on-exec
    ASSERT_GE(open, 3);
    const std::string fd = std::to_string(open);
    WriteScript("probe.bat",
                "a=$(readlink /proc/$$/fd/0); b=$(readlink /proc/$$/fd/1); c=$(readlink /proc/$$/fd/2)\n"
                "printf '%s\\n' \"$a\" \"$b\" \"$c\" > streams\n"
                "if [ -e /proc/$$/fd/" +
                    fd + " ]; then echo leaked > descriptor; else echo closed > descriptor; fi\n",
                false);
    KProcess process;
    EXPECT_TRUE(process.Run("probe.bat", "", KProcess::kShowHidden, 1));
    EXPECT_EQ(process.GetExitCode(), 0);
    EXPECT_EQ(ReadFile("streams"), "/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_EQ(ReadFile("descriptor"), "closed\n");
    close(open);

    // Shown, the program shares this program's streams.
    fs::remove("streams");
    EXPECT_TRUE(RunProcessWait("probe.bat", "", KProcess::kShowNormal));
    EXPECT_EQ(ReadFile("streams").find("/dev/null\n/dev/null\n/dev/null"), std::string::npos);
}

TEST(Kprocess, StartSucceedsWhateverTheExitValue)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("fails.bat", "exit 3\n", false);
    EXPECT_TRUE(RunProcessWait("fails.bat", "", KProcess::kShowHidden));
    KProcess process;
    EXPECT_TRUE(process.Run("fails.bat", "", KProcess::kShowHidden, 1));
    EXPECT_EQ(process.GetExitCode(), 3);
    EXPECT_TRUE(process.WaitEnd()); // ended already
}

TEST(Kprocess, CommandInterpreterRouteGivesTheExitValue)
{
    qmrtest::ScopedWorkDir dir;
    struct Case {
        const char* file;
        const char* parameters;
        bool result;
    };
    const Case cases[] = {
        {"true", "", true},   {"false", "", false},   {"exit", "0", true},
        {"exit", "7", false}, {"test", "-d /", true}, {"nosuchcommand-qmr", "x", false},
    };
    for (const Case& c : cases) {
        KProcess process;
        EXPECT_EQ(process.Run(c.file, c.parameters, KProcess::kShowNormal, 1), c.result)
            << c.file << " " << c.parameters;
        EXPECT_FALSE(process.HasProcess());
        EXPECT_FALSE(process.WaitEnd());
    }
}

TEST(Kprocess, NameWithoutDotBeforeFirstBlankGoesToTheInterpreter)
{
    qmrtest::ScopedWorkDir dir;
    KProcess process;
    EXPECT_TRUE(process.Exec("echo ran > out.txt", ""));
    EXPECT_EQ(ReadFile("out.txt"), "ran\n");
    EXPECT_TRUE(process.Exec("printf", "%s with.dot > second.txt"));
    EXPECT_EQ(ReadFile("second.txt"), "with.dot");
}

TEST(Kprocess, CommandTooLongForTheBufferIsRefused)
{
    qmrtest::ScopedWorkDir dir;
    // "touch" + " " + parameters: 263 characters fit, 264 do not.
    const std::string fits = "fits" + std::string(257 - 4, ' ');
    const std::string over = "over" + std::string(258 - 4, ' ');
    ASSERT_EQ(5 + 1 + fits.size(), 263u);
    KProcess process;
    EXPECT_TRUE(process.ExecSystem("touch", fits.c_str()));
    EXPECT_TRUE(fs::exists("fits"));
    EXPECT_FALSE(process.ExecSystem("touch", over.c_str()));
    EXPECT_FALSE(fs::exists("over"));
    const std::string longFile = "touch longfile" + std::string(300, ' ');
    EXPECT_FALSE(process.Run(longFile.c_str(), "", KProcess::kShowNormal, 1));
    EXPECT_FALSE(fs::exists("longfile"));
}

TEST(Kprocess, FileWithOptionIsCutForTheTestAndTheShellGetsTheWholeText)
{
    qmrtest::ScopedWorkDir dir;
    // Not executable, so only the script route can run it.
    WriteScript("x.bat", RecordingScript("args.txt"), false);
    KProcess process;
    EXPECT_TRUE(process.Run("x.bat -opt", "p1 \"two words\"", KProcess::kShowHidden, 1));
    EXPECT_EQ(ReadFile("args.txt"), "-opt\np1\ntwo words\n");
}

TEST(Kprocess, ShellMetacharactersInParametersArePlainData)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("rec.bat", RecordingScript("args.txt"), false);
    WriteScript("rec.sh", RecordingScript("args2.txt"), true);
    const std::string hostile = "; touch pwned1 | touch pwned2 && $(touch pwned3) `touch pwned4` > pwned5";
    EXPECT_TRUE(RunProcessWait("rec.bat", hostile.c_str(), KProcess::kShowHidden));
    EXPECT_TRUE(RunProcessWait("rec.sh", hostile.c_str(), KProcess::kShowHidden));
    const std::string expected =
        ";\ntouch\npwned1\n|\ntouch\npwned2\n&&\n$(touch\npwned3)\n`touch\npwned4`\n>\npwned5\n";
    EXPECT_EQ(ReadFile("args.txt"), expected);
    EXPECT_EQ(ReadFile("args2.txt"), expected);
    for (const auto& entry : fs::directory_iterator(".")) {
        EXPECT_EQ(entry.path().filename().string().rfind("pwned", 0), std::string::npos) << entry.path();
    }
}

TEST(Kprocess, ExecutableFileIsStartedDirectly)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("tool.sh", "#!/bin/sh\necho \"$0 $#\" > ran\nexit 5\n", true);
    KProcess process;
    EXPECT_TRUE(process.Run("tool.sh", "a b", KProcess::kShowHidden, 1));
    EXPECT_EQ(ReadFile("ran"), "./tool.sh 2\n");
    EXPECT_EQ(process.GetExitCode(), 5);

    fs::create_directory("sub");
    WriteScript("sub/tool.sh", "#!/bin/sh\necho sub > ran\n", true);
    EXPECT_TRUE(RunProcessWait("sub/tool.sh", nullptr, KProcess::kShowHidden));
    EXPECT_EQ(ReadFile("ran"), "sub\n");
}

TEST(Kprocess, MissingFilesFailTheStart)
{
    qmrtest::ScopedWorkDir dir;
    KProcess process;
    EXPECT_FALSE(process.ExecShell("missing.bat", "a"));
    EXPECT_FALSE(process.ExecShell("sub/missing.sh", nullptr));
    EXPECT_FALSE(process.ExecShell("nosuchprogram-qmr.bin", nullptr));
    EXPECT_FALSE(process.ExecShell("", nullptr));
    EXPECT_FALSE(process.ExecShell(nullptr, nullptr));
    EXPECT_FALSE(RunProcessWait("missing.bat", "", KProcess::kShowHidden));
    EXPECT_FALSE(process.HasProcess());
    EXPECT_FALSE(process.WaitEnd());
    // A file that exists but cannot be executed by its interpreter line.
    WriteScript("broken.sh", "#!/nonexistent/interpreter\n", true);
    EXPECT_FALSE(process.ExecShell("broken.sh", nullptr));
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Kprocess, WebAddressIsOpenedDetachedWithoutWaitOrZombie)
{
    qmrtest::ScopedWorkDir dir;
    FakeOpener opener(dir.Path());
    auto* process = new KProcess;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(process->ExecShell("https://example.invalid/qmr3400", nullptr));
    EXPECT_FALSE(process->HasProcess());
    EXPECT_FALSE(process->WaitEnd());
    delete process;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    // The opener got the address and still runs: nothing waited for it, and it is no child
    // of ours, so no zombie can be left when it ends.
    ASSERT_TRUE(WaitFor([&] { return fs::exists(opener.opened); }, 5000ms));
    EXPECT_FALSE(fs::exists(opener.release));
    EXPECT_EQ(ReadFile(opener.opened), "https://example.invalid/qmr3400\n");
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Kprocess, DocumentsGoToTheOpener)
{
    qmrtest::ScopedWorkDir dir;
    FakeOpener opener(dir.Path());
    WriteFile("manual.pdf", "%PDF");
    KProcess process;
    EXPECT_TRUE(process.Run("manual.pdf", "ignored", KProcess::kShowNormal, 1));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(opener.opened); }, 5000ms));
    EXPECT_EQ(ReadFile(opener.opened), "./manual.pdf\n");
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Kprocess, MissingOpenerFailsQuietly)
{
    qmrtest::ScopedWorkDir dir;
    fs::create_directory("empty");
    ScopedPath path;
    setenv("PATH", (dir.Path() / "empty").c_str(), 1);
    KProcess process;
    EXPECT_FALSE(process.ExecShell("https://example.invalid/", nullptr));
    EXPECT_FALSE(process.HasProcess());
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Kprocess, RunnerDeletedWhileItsProgramRunsLeavesNoZombie)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("slow.bat", "sleep 0.3\necho done > finished\n", false);
    {
        KProcess process;
        EXPECT_TRUE(process.Run("slow.bat", "", KProcess::kShowHidden, 0));
        EXPECT_TRUE(process.HasProcess());
    }
    ASSERT_TRUE(WaitFor([] { return fs::exists("finished"); }, 5000ms));
    EXPECT_TRUE(WaitFor([] { return ChildrenOfThisProcess().empty(); }, 5000ms));
}

TEST(Kprocess, TerminateFromAnotherThreadEndsTheWaitAndWhatTheScriptStarted)
{
    qmrtest::ScopedWorkDir dir;
    WriteScript("hang.bat", "sleep 30 &\necho $! > child\nwait\n", false);
    KProcess process;
    ASSERT_TRUE(process.Run("hang.bat", "", KProcess::kShowHidden, 0));
    ASSERT_TRUE(WaitFor([] { return !ReadFile("child").empty(); }, 5000ms));
    const std::string child = "/proc/" + std::to_string(std::stoi(ReadFile("child")));
    EXPECT_FALSE(process.WaitEndFor(150));
    std::atomic<bool> ended{false};
    std::thread waiter([&] { ended = process.WaitEnd(); });
    process.Terminate();
    waiter.join();
    EXPECT_TRUE(ended);
    EXPECT_NE(process.GetExitCode(), 0);
    // The script's own child got the signal too (gone, or a zombie of its new parent).
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string stat = ReadFile(child + "/stat");
            return stat.empty() || stat.find(") Z ") != std::string::npos;
        },
        5000ms));
}

TEST(Kprocess, ParametersSplitIntoPlainArguments)
{
    using qmr::platform::SplitParameters;
    using Args = std::vector<std::string>;
    const std::pair<const char*, Args> cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"192.168.0.88", {"192.168.0.88"}},
        {"  a   b\tc  ", {"a", "b", "c"}},
        {"\"two words\" x", {"two words", "x"}},
        {"\"\" x", {"", "x"}},
        {"a\\\"b", {"a\"b"}},
        {"x\"y z\"w", {"xy zw"}},
        {"back\\slash", {"back\\slash"}},
        {"\"open", {"open"}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(SplitParameters(text), expected) << text;
    }
}
