// The control language, in-process and through the command-line program.

#include "Simcontrol.h"
#include "SimFixture.h"
#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {
namespace {

using namespace std::chrono_literals;

class SimControl : public SimTest {
protected:
    std::string Run(const std::string& line)
    {
        bool quit = false;
        return control.Run(line, quit);
    }

    qmrsim::ControlInterpreter control{sim};
};

struct ControlCase {
    const char* control;
    const char* send;
    const char* reply;
};

void PrintTo(const ControlCase& c, std::ostream* os)
{
    PrintSafe(c.control, os);
}

class SimControlKnobs : public SimControl, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(SimControlKnobs, KnobActsOnTheNextReply)
{
    EXPECT_EQ(Run(GetParam().control), "ok");
    EXPECT_EQ(Ask(GetParam().send), GetParam().reply) << GetParam().control;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SimControlKnobs,
    ::testing::Values(ControlCase{"error -113", ":SYST:ERR?", "-113,\"Undefined header\""},
                      ControlCase{"error -200 Execution error 3", ":SYST:ERR?", "-200,\"Execution error 3\""},
                      ControlCase{"fatal", ":SYST:ERR?", "-315,\"Configuration memory lost\""},
                      ControlCase{"fatal -240", ":SYST:ERR?", "-240,\"Hardware error\""},
                      ControlCase{"error-on \":SYST:REM;ERR?\" -365", ":SYST:REM;ERR?", "-365,\"Time out error\""},
                      ControlCase{"override *IDN? a b,c", "*IDN?", "a b,c"},
                      ControlCase{"mode-answer i", ":ISI:MODE?", "i"},
                      ControlCase{"opc-answer 0", "*ESE 68;*OPC?", "0"},
                      ControlCase{"no-error-text 0,\"no error\"", ":SYST:ERR?", "0,\"no error\""},
                      ControlCase{"range-shape no-semicolon", ":ISI:RANG? 100;:SYST:ERR?", "0,700"},
                      ControlCase{"range 4000:1:99", ":ISI:RANG? 100", "1,99"},
                      ControlCase{"set serial SN1", "*IDN?", "QMR,QMR3400,SN1,1.05"},
                      ControlCase{"set level 12.3", ":ISI:LEVE?", "12.3"}, ControlCase{"set mode P", ":ISI:MODE?", "P"},
                      ControlCase{"set esr 64", "*ESR?", "64"}, ControlCase{"local-answer 1", ":SYST:LOC", "1"}));

TEST_F(SimControl, DropNextThenTheFollowingReply)
{
    EXPECT_EQ(Run("drop-next 2"), "ok");
    tcp.Send("*IDN?");
    tcp.Send("*IDN?");
    EXPECT_EQ(Ask("*OPC?"), "1");
}

TEST_F(SimControl, LocalKeyAndStatus)
{
    EXPECT_EQ(Run("set remote on"), "ok");
    EXPECT_EQ(Run("local-key"), "ok");
    EXPECT_NE(Run("status").find("esr=64"), std::string::npos);
    EXPECT_NE(Run("status").find("remote=OFF"), std::string::npos);
    EXPECT_EQ(Run("set keylock on"), "ok");
    EXPECT_EQ(Run("local-key"), "ok ignored: the panel is locked");
}

TEST_F(SimControl, ConnectionCommands)
{
    EXPECT_EQ(Run("fin"), "ok");
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Closed);
    ASSERT_TRUE(tcp.ConnectTcp(sim.TcpPort()));
    EXPECT_EQ(Run("reset-on *OPC?"), "ok");
    tcp.Send("*OPC?");
    EXPECT_EQ(tcp.WaitForEnd(2000ms), LineClient::End::Reset);
    EXPECT_EQ(Run("replug"), "error: no pseudo-terminal face");
}

TEST_F(SimControl, MistakesAreReported)
{
    bool quit = false;
    EXPECT_EQ(control.Run("", quit), "");
    EXPECT_EQ(control.Run("# a comment", quit), "");
    EXPECT_EQ(Run("bogus"), "error: unknown command \"bogus\" (try help)");
    EXPECT_EQ(Run("error"), "error: usage: error CODE [TEXT]");
    EXPECT_EQ(Run("fatal -100"), "error: fatal codes are -365, -315 and -240");
    EXPECT_EQ(Run("range-shape round"), "error: usage: range-shape normal|no-semicolon|no-comma|refused");
    EXPECT_EQ(Run("range 100:1"), "error: usage: range UPTO:MIN:MAX...");
    EXPECT_EQ(Run("set mode Q"), "error: usage: set mode|level|loss|frequency|remote|keylock|serial|address|esr VALUE");
    EXPECT_FALSE(quit);
    EXPECT_EQ(control.Run("quit", quit), "ok");
    EXPECT_TRUE(quit);
}

TEST(SimControlWords, QuotesKeepBlanks)
{
    EXPECT_EQ(qmrsim::SplitControlWords("override \":ISI:RANG? 100;:SYST:ERR?\" x y"),
              (std::vector<std::string>{"override", ":ISI:RANG? 100;:SYST:ERR?", "x", "y"}));
    EXPECT_EQ(qmrsim::SplitControlWords("  a  "), (std::vector<std::string>{"a"}));
}

// The command-line program, started with pipes on its standard input and output.
class SimProgram : public ::testing::Test {
protected:
    ~SimProgram() override
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (in_ >= 0) {
            close(in_);
        }
        if (out_ >= 0) {
            close(out_);
        }
    }

    void Launch(std::vector<std::string> args)
    {
        int toChild[2];
        int fromChild[2];
        ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
        args.insert(args.begin(), QMR_SIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }

    // The next line of the program's output, or nothing after the time-out.
    std::optional<std::string> OutputLine(std::chrono::milliseconds timeout = 5000ms)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            size_t at = pending_.find('\n');
            if (at != std::string::npos) {
                std::string line = pending_.substr(0, at);
                pending_.erase(0, at + 1);
                return line;
            }
            if (!qmrtest::ReadableBefore(out_, deadline)) {
                return std::nullopt;
            }
            char chunk[1024];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) {
                return std::nullopt;
            }
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }

    // Reads the start lines up to "ready"; gives the TCP port.
    int ReadStart(std::string* link = nullptr)
    {
        int port = -1;
        while (std::optional<std::string> line = OutputLine()) {
            if (line->starts_with("tcp-port ")) {
                port = std::stoi(line->substr(9));
            } else if (line->starts_with("pty-link ") && link != nullptr) {
                *link = line->substr(9);
            } else if (*line == "ready") {
                break;
            }
        }
        return port;
    }

    void Control(const std::string& line)
    {
        std::string text = line + "\n";
        ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // The exit status once the program ended within the time-out; -1 otherwise.
    int WaitExit(std::chrono::milliseconds timeout = 5000ms)
    {
        int status = 0;
        bool ended = qmrtest::WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    qmrtest::ScopedWorkDir dir;
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string pending_;
};

TEST_F(SimProgram, AnswersOnItsPortAndQuits)
{
    Launch({"--tcp-port", "0", "--record", "rec.txt", "--serial", "SN42", "--error-on", "*OPC?* -222"});
    int port = ReadStart();
    ASSERT_GT(port, 0);
    LineClient client;
    ASSERT_TRUE(client.ConnectTcp(port));
    EXPECT_EQ(client.Ask("*IDN?"), "QMR,QMR3400,SN42,1.05");
    EXPECT_EQ(client.Ask("*OPC?;:SYST:ERR?"), "1;-222,\"Data out of range\"");
    Control("override *IDN? changed");
    EXPECT_EQ(OutputLine(), "ok");
    EXPECT_EQ(client.Ask("*IDN?"), "changed");
    Control("quit");
    EXPECT_EQ(OutputLine(), "ok");
    EXPECT_EQ(WaitExit(), 0);
    std::string record = qmrtest::ReadFile("rec.txt");
    EXPECT_NE(record.find(" *IDN?\n"), std::string::npos) << record;
    EXPECT_NE(record.find(" *OPC?;:SYST:ERR?\n"), std::string::npos) << record;
}

TEST_F(SimProgram, TerminateRemovesThePublishedPort)
{
    Launch({"--no-tcp", "--pty-com", "9", "--dir", dir.Path().string(), "--terminator", "crlf", "--usb-alt"});
    std::string link;
    EXPECT_EQ(ReadStart(&link), -1);
    EXPECT_EQ(link, (dir.Path() / "ports" / "COM9").string());
    EXPECT_NE(qmrtest::ReadFile("ports/COM9.usb").find("pid=3401\n"), std::string::npos);
    LineClient port;
    ASSERT_TRUE(port.OpenSerial("ports/COM9"));
    EXPECT_EQ(port.Ask("*OPC?", 2000ms), "1\r");
    kill(pid_, SIGTERM);
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("ports/COM9")));
    EXPECT_FALSE(std::filesystem::exists("ports/COM9.usb"));
}

TEST_F(SimProgram, ControlFifo)
{
    Launch({"--tcp-port", "0", "--control", "ctl"});
    int port = ReadStart();
    ASSERT_GT(port, 0);
    int fifo = open("ctl", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fifo, 0);
    const std::string line = "mode-answer Z\n";
    ASSERT_EQ(write(fifo, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(OutputLine(), "ok");
    LineClient client;
    ASSERT_TRUE(client.ConnectTcp(port));
    EXPECT_EQ(client.Ask(":ISI:MODE?"), "Z");
    const std::string quit = "quit\n";
    ASSERT_EQ(write(fifo, quit.data(), quit.size()), static_cast<ssize_t>(quit.size()));
    close(fifo);
    EXPECT_EQ(OutputLine(), "ok");
    EXPECT_EQ(WaitExit(), 0);
}

TEST_F(SimProgram, BadOptionsAndHelp)
{
    Launch({"--help"});
    std::optional<std::string> first = OutputLine();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->substr(0, 14), "Usage: qmr-sim");
    EXPECT_EQ(WaitExit(), 0);
    Launch({"--frobnicate"});
    EXPECT_EQ(WaitExit(), 2);
    Launch({"--tcp-port", "0", "--fatal=-1"});
    EXPECT_EQ(WaitExit(), 2);
}

} // namespace
} // namespace simtest
