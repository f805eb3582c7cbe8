// Serial ports through the library's exports, on pseudo-terminal pairs published as ports/COMn.

#include "SerialTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <numeric>
#include <ostream>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using serialtest::Clock;
using serialtest::kSettings;
using serialtest::MillisecondsSince;

namespace {

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty.PublishAs(1);
        ASSERT_EQ(_Rs232Open(0, kSettings), 0);
    }
    void TearDown() override { serialtest::CloseAllPorts(); }

    // A line receive of at most `max` characters on port 0.
    std::string Recv(int max = 128, int* result = nullptr)
    {
        std::vector<char> buf(static_cast<size_t>(max) + 1, '\x55');
        int n = _Rs232Recv(0, buf.data(), max);
        if (result != nullptr) {
            *result = n;
        }
        return n < 0 ? std::string("<none>") : std::string(buf.data(), static_cast<size_t>(n));
    }

    // A descriptor of the port's device beside the library's. Only root gets past the
    // exclusive flag of an open port; anyone else is refused as busy (and skips the test).
    int OpenSlaveAside() const { return open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }

    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair pty;
};

TEST_F(SerialPort, LineSplitAcrossReadsIsJoined)
{
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    ASSERT_TRUE(pty.Write("HEL"));
    int r = 0;
    EXPECT_EQ(Recv(128, &r), "<none>"); // ends one interval after the last byte: incomplete
    EXPECT_EQ(r, -1);
    EXPECT_EQ(errno, EAGAIN) << "no line yet, the port is fine";
    ASSERT_TRUE(pty.Write("LO\n"));
    EXPECT_EQ(Recv(128, &r), "HELLO");
    EXPECT_EQ(r, 5);
}

TEST_F(SerialPort, SecondLineOfOneReadComesWithoutNewBytes)
{
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    ASSERT_TRUE(pty.Write("ONE\nTWO\n"));
    EXPECT_EQ(Recv(), "ONE");
    auto start = Clock::now();
    EXPECT_EQ(Recv(), "TWO");
    EXPECT_LT(MillisecondsSince(start), 50); // handed over from the buffer, no read
    start = Clock::now();
    EXPECT_EQ(Recv(), "<none>");
    long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 900); // nothing came: the whole read time-out passed
    EXPECT_LT(waited, 2000);
}

TEST_F(SerialPort, LongLineIsCutToMaxAndItsRestDropped)
{
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    ASSERT_TRUE(pty.Write(std::string(200, 'x') + "\nNEXT\n"));
    std::vector<char> buf(128 + 1 + 16, '\x55');
    ASSERT_EQ(_Rs232Recv(0, buf.data(), 128), 128);
    EXPECT_EQ(std::string(buf.data(), 128), std::string(128, 'x'));
    EXPECT_EQ(buf[128], '\0');
    for (size_t i = 129; i < buf.size(); ++i) {
        ASSERT_EQ(buf[i], '\x55') << "written past the buffer at " << i;
    }
    EXPECT_EQ(Recv(), "NEXT");
}

struct TerminatorCase {
    const char* term;
    std::string bytes;
    std::vector<std::string> lines; // one receive each; "<none>" for -1
};

void PrintTo(const TerminatorCase& c, std::ostream* os)
{
    auto escaped = [](const std::string& t) {
        std::string e;
        for (char ch : t) {
            e += ch == '\r'   ? std::string("CR")
                 : ch == '\n' ? std::string("LF")
                 : ch == '\0' ? std::string("NUL")
                              : std::string(1, ch);
        }
        return e;
    };
    *os << escaped(c.term) << " in " << escaped(c.bytes);
}

class SerialTerminators : public SerialPort, public ::testing::WithParamInterface<TerminatorCase> {};

TEST_P(SerialTerminators, LinesEndAtTheTerminatorOnly)
{
    const TerminatorCase& c = GetParam();
    ASSERT_EQ(_Rs232CrLf(0, c.term), 1);
    ASSERT_TRUE(pty.Write(c.bytes));
    for (const std::string& expected : c.lines) {
        EXPECT_EQ(Recv(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SerialTerminators,
                         ::testing::Values(TerminatorCase{"\r\n", "A\nB\r\n", {"A\nB"}},   // "\n" alone ends nothing
                                           TerminatorCase{"\r\n", "A\n", {"<none>"}},      //
                                           TerminatorCase{"\n", "C\r\nD\n", {"C\r", "D"}}, // the "\r" stays in the line
                                           TerminatorCase{"\r", "E\rF\r\n", {"E", "F"}},   // "\n" starts the next line
                                           TerminatorCase{"\r\n\r", "G\r\nH\r\n\r", {"G\r\nH"}}, // the whole text
                                           TerminatorCase{"\n", "\n\nI\n", {"", "", "I"}},       // empty lines count
                                           TerminatorCase{"\n", std::string("J\0K\n", 4), {std::string("J\0K", 3)}}));

TEST_F(SerialPort, DefaultTerminatorIsCrLf)
{
    ASSERT_TRUE(pty.Write("X\nY\r\n"));
    EXPECT_EQ(Recv(), "X\nY");
    ASSERT_EQ(_Rs232Send(0, "Q", 1), 1);
    EXPECT_EQ(pty.Read(3, 1000ms), "Q\r\n");
}

TEST_F(SerialPort, TerminatorIsCopiedNotReferenced)
{
    {
        std::string term = "#";
        ASSERT_EQ(_Rs232CrLf(0, term.c_str()), 1);
        term = "?"; // the caller's text changes after the call
    }
    ASSERT_TRUE(pty.Write("A?B#"));
    EXPECT_EQ(Recv(), "A?B");
    ASSERT_EQ(_Rs232Send(0, "Z", 1), 1);
    EXPECT_EQ(pty.Read(2, 1000ms), "Z#");
}

TEST_F(SerialPort, TerminatorOfAnyLengthIsUsedWholeBothWays)
{
    ASSERT_EQ(_Rs232CrLf(0, "ABC"), 1);
    ASSERT_EQ(_Rs232Send(0, "x", 1), 1);
    EXPECT_EQ(pty.Read(4, 1000ms), "xABC");
    ASSERT_TRUE(pty.Write("line1ABCline2ABC"));
    EXPECT_EQ(Recv(), "line1");
    EXPECT_EQ(Recv(), "line2");
}

class SerialOverlongLine : public SerialPort, public ::testing::WithParamInterface<std::string> {};

// A line too long for the buffer never comes out, not even its end: the first receive fills
// the buffer, the second drops it with the rest of the line, and the next line is whole.
TEST_P(SerialOverlongLine, IsDroppedWholeAndTheNextLineComesThrough)
{
    ASSERT_TRUE(pty.Write(GetParam()));
    EXPECT_EQ(Recv(), "<none>");
    EXPECT_EQ(Recv(), "<none>");
    ASSERT_TRUE(pty.Write("2.50\r\n"));
    EXPECT_EQ(Recv(), "2.50");
}

INSTANTIATE_TEST_SUITE_P(Table, SerialOverlongLine,
                         ::testing::Values(std::string(300, 'x') + "1.25\r\n", std::string(255, 'x') + "\r\n",
                                           std::string(254, 'x') + "\r\n")); // split terminator

TEST_F(SerialPort, ReopenOfOccupiedSlotKeepsTheObject)
{
    ASSERT_EQ(_Rs232CrLf(0, "#"), 1);
    ASSERT_TRUE(pty.Write("ONE#TWO#"));
    EXPECT_EQ(Recv(), "ONE");
    ASSERT_EQ(_Rs232Open(0, kSettings), 0);
    EXPECT_EQ(Recv(), "TWO"); // the buffered line and the terminator survived
    ASSERT_TRUE(pty.Write("THREE#"));
    EXPECT_EQ(Recv(), "THREE");
}

TEST_F(SerialPort, FailedReopenEmptiesTheSlot)
{
    ASSERT_EQ(_Rs232CrLf(0, "#"), 1);
    ASSERT_EQ(_Rs232Open(0, "baud=19200 parity=Q"), -1);
    char buf[8];
    EXPECT_EQ(_Rs232Recv(0, buf, 7), -1);
    EXPECT_EQ(_Rs232SendN(0, "x", 1), 0);
    EXPECT_EQ(_Rs232CrLf(0, "\n"), 1); // an empty slot: accepted, nothing set
    // A new object comes with the default terminators.
    ASSERT_EQ(_Rs232Open(0, kSettings), 0);
    ASSERT_TRUE(pty.Write("A#B\r\n"));
    EXPECT_EQ(Recv(), "A#B");
}

TEST_F(SerialPort, TerminatedSendSendsLenCharactersThenTheTerminator)
{
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    ASSERT_EQ(_Rs232Send(0, "ABCDEF", 3), 1);
    EXPECT_EQ(pty.Read(16, 300ms), "ABC\n");
    ASSERT_EQ(_Rs232Send(0, "", 0), 1);
    EXPECT_EQ(pty.Read(16, 300ms), "\n");
    ASSERT_EQ(_Rs232Send(0, "a\0b", 3), 1); // a NUL is a byte like any other
    EXPECT_EQ(pty.Read(4, 1000ms), std::string("a\0b\n", 4));
    EXPECT_EQ(_Rs232Send(0, "AB", -1), 0);
}

TEST_F(SerialPort, RawSendSendsExactlyTheBytes)
{
    const char bytes[] = {'a', '\0', 'b', '\n'};
    ASSERT_EQ(_Rs232SendN(0, bytes, 4), 1);
    EXPECT_EQ(pty.Read(16, 300ms), std::string(bytes, 4));
    EXPECT_EQ(_Rs232SendN(0, bytes, 0), 1);
    EXPECT_EQ(_Rs232SendN(0, nullptr, 3), 0);
    EXPECT_EQ(_Rs232SendN(0, bytes, -2), 0);
}

// A write that the peer never takes gives up once nothing moved for five seconds, and a close
// from another thread ends one at once; a write that keeps moving runs as long as it takes.
TEST_F(SerialPort, StalledWriteFailsWhileAMovingOneRunsToTheEnd)
{
    std::string big(1 << 20, '\0');
    std::iota(big.begin(), big.end(), '\0'); // bytes in a pattern that shows loss and reordering
    std::atomic<int> result{-1};
    auto send = [&](size_t n) { result = _Rs232SendN(0, big.data(), static_cast<int>(n)); };
    auto start = Clock::now();
    send(big.size());
    EXPECT_EQ(result.load(), 0);
    // A pseudo-terminal may let a last few bytes in late, which counts as progress once.
    EXPECT_GE(MillisecondsSince(start), 4900);
    EXPECT_LT(MillisecondsSince(start), 12000);

    pty.Read(SIZE_MAX, 200ms); // what the failed write left on the way
    std::thread writer(send, big.size());
    int queued = 0;
    ASSERT_TRUE(qmrtest::WaitFor([&] { return ioctl(pty.Master(), FIONREAD, &queued) == 0 && queued > 0; }, 2000ms));
    start = Clock::now();
    _Rs232Close(0);
    writer.join();
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_EQ(result.load(), 0);

    // The peer takes a little at a time for longer than the stall limit, then the rest.
    ASSERT_EQ(_Rs232Open(0, kSettings), 0);
    pty.Read(SIZE_MAX, 200ms);
    std::thread mover(send, 256 * 1024);
    std::string got;
    for (start = Clock::now(); got.size() < 256 * 1024 && MillisecondsSince(start) < 20000;) {
        const bool slow = MillisecondsSince(start) < 5500;
        got += pty.Read(slow ? 512 : 256 * 1024 - got.size(), 100ms);
        std::this_thread::sleep_for(slow ? 50ms : 0ms); // pacing the peer, not waiting for the port
    }
    mover.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(got == big.substr(0, 256 * 1024)) << got.size() << " bytes arrived";
    ASSERT_EQ(_Rs232SendN(0, "OK\n", 3), 1);
    EXPECT_EQ(pty.Read(3, 1000ms), "OK\n");
}

TEST_F(SerialPort, RecvLenIsZeroAndRawReceiveStillReads)
{
    ASSERT_TRUE(pty.Write("RAW"));
    EXPECT_EQ(_Rs232RecvLen(0), 0);
    char buf[4 + 8];
    std::memset(buf, 0x55, sizeof buf);
    auto start = Clock::now();
    ASSERT_EQ(_Rs232RecvN(0, buf, 3), 3);
    EXPECT_LT(MillisecondsSince(start), 90); // had all it had room for: no interval wait
    EXPECT_STREQ(buf, "RAW");
    EXPECT_EQ(buf[4], '\x55');
    ASSERT_TRUE(pty.Write("MORE"));
    ASSERT_EQ(_Rs232RecvN(0, buf, 10), 4);
    EXPECT_STREQ(buf, "MORE");
    start = Clock::now();
    EXPECT_EQ(_Rs232RecvN(0, buf, 10), 0); // nothing came: a time-out, not a failure
    EXPECT_GE(MillisecondsSince(start), 900);
    EXPECT_EQ(buf[0], '\0');
}

TEST_F(SerialPort, RawReceiveLeavesTheLineBufferAlone)
{
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    ASSERT_TRUE(pty.Write("L1\nL2\n"));
    EXPECT_EQ(Recv(), "L1");
    ASSERT_TRUE(pty.Write("RAW"));
    char buf[8];
    ASSERT_EQ(_Rs232RecvN(0, buf, 3), 3);
    EXPECT_EQ(Recv(), "L2");
}

TEST_F(SerialPort, BufferClearOnARealPortReturnsAtOnceAndDropsNothing)
{
    ASSERT_TRUE(pty.Write("KEEP"));
    auto start = Clock::now();
    _Rs232BufferClear(0);
    EXPECT_LT(MillisecondsSince(start), 50);
    char buf[8];
    EXPECT_EQ(_Rs232RecvN(0, buf, 4), 4);
    EXPECT_STREQ(buf, "KEEP");
}

TEST_F(SerialPort, ModemLinesOnAPseudoTerminalReportFailureButBreaksWork)
{
    unsigned long state = 0xdead;
    EXPECT_EQ(_Rs_GetSignalState(0, &state), 0);
    EXPECT_EQ(_Rs_GetSignalState(0, nullptr), 0);
    EXPECT_EQ(_Rs_SetRts(0), 0);
    EXPECT_EQ(_Rs_ClrRts(0), 0);
    EXPECT_EQ(_Rs_SetDtr(0), 0);
    EXPECT_EQ(_Rs_ClrDtr(0), 0);
    EXPECT_EQ(_Rs_SetSignalState(0, 3), 0);
    EXPECT_EQ(_Rs_SetSignalState(0, 7), 0);  // no device reset on a terminal
    EXPECT_EQ(_Rs_SetSignalState(0, 99), 0); // no such function
    // The terminal layer accepts a break on any terminal, a pseudo-terminal included.
    EXPECT_EQ(_Rs_SetBreak(0), 1);
    EXPECT_EQ(_Rs_ClrBreak(0), 1);
    EXPECT_EQ(_Rs_SetSignalState(0, 8), 1);
    EXPECT_EQ(_Rs_SetSignalState(0, 9), 1);
}

TEST_F(SerialPort, BadReceiveArgumentsTouchNoBuffer)
{
    ASSERT_TRUE(pty.Write("X\r\n"));
    char buf[4] = {'\x55', '\x55', '\x55', '\x55'};
    EXPECT_EQ(_Rs232Recv(0, nullptr, 10), -1);
    EXPECT_EQ(_Rs232Recv(0, buf, -1), -1);
    EXPECT_EQ(_Rs232RecvN(0, nullptr, 3), -1);
    EXPECT_EQ(_Rs232RecvN(0, buf, -5), -1);
    EXPECT_EQ(buf[0], '\x55');
    EXPECT_EQ(_Rs232Recv(0, buf, 0), 0); // the line, cut to nothing
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], '\x55');
}

TEST_F(SerialPort, SettingsAreAppliedToTheDevice)
{
    ASSERT_EQ(_Rs232Open(0, "COM1: baud=9600 parity=E data=7 stop=2"), 0);
    int fd = OpenSlaveAside();
    if (fd < 0) {
        ASSERT_EQ(errno, EBUSY);
        GTEST_SKIP() << "looking past the exclusive flag needs root";
    }
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    // A pseudo-terminal keeps the rate and the stop bits but forces 8 bits without parity.
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    ASSERT_EQ(_Rs232Open(0, "19,n,8,1"), 0);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
    close(fd);
}

TEST_F(SerialPort, OpenIsExclusiveAgainstOtherDescriptorsAndPrograms)
{
    // A second slot on the same device is refused.
    pty.PublishAs(2);
    EXPECT_EQ(_Rs232Open(1, kSettings), -1);
    // Another program that takes the lock is refused as well (root included).
    int other = OpenSlaveAside();
    if (other < 0) {
        ASSERT_EQ(errno, EBUSY);
        GTEST_SKIP() << "looking past the exclusive flag needs root";
    }
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    int excl = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 1);
    // Once closed, the device is free again and its exclusive flag cleared.
    _Rs232Close(0);
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(_Rs232Open(0, kSettings), -1); // now the other program holds it
    flock(other, LOCK_UN);
    close(other);
    EXPECT_EQ(_Rs232Open(0, kSettings), 0);
}

TEST_F(SerialPort, ReceiveEndsAtOnceWhenThePeerHangsUp)
{
    std::atomic<bool> entered{false};
    std::atomic<int> result{-2};
    std::atomic<int> error{0};
    Clock::time_point returned;
    std::thread reader([&] {
        char buf[129];
        entered = true;
        result = _Rs232Recv(0, buf, 128);
        error = errno;
        returned = Clock::now();
    });
    ASSERT_TRUE(qmrtest::WaitFor([&] { return entered.load(); }, 2000ms));
    const Clock::time_point hungUp = Clock::now();
    pty.HangUp();
    reader.join();
    const auto endedAfterHangUp = std::chrono::duration_cast<std::chrono::milliseconds>(returned - hungUp).count();
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(error.load(), EIO) << "the port itself failed";
    EXPECT_LT(endedAfterHangUp, 500); // not the 1000 ms read time-out
    // The port stays failed, and fails at once.
    auto start = Clock::now();
    char buf[16];
    EXPECT_EQ(_Rs232Recv(0, buf, 15), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(_Rs232RecvN(0, buf, 15), -1);
    EXPECT_LT(MillisecondsSince(start), 200);
    EXPECT_EQ(_Rs232Send(0, "X", 1), 0);
}

TEST_F(SerialPort, OneThreadReceivesWhileAnotherSends)
{
    constexpr int kLines = 50;
    ASSERT_EQ(_Rs232CrLf(0, "\n"), 1);
    std::vector<std::string> received;
    std::thread reader([&] {
        char buf[129];
        for (int tries = 0; received.size() < kLines && tries < kLines * 3; ++tries) {
            int r = _Rs232Recv(0, buf, 128);
            if (r >= 0) {
                received.emplace_back(buf, static_cast<size_t>(r));
            }
        }
    });
    std::atomic<int> sendFailures{0};
    std::thread sender([&] {
        for (int i = 0; i < kLines; ++i) {
            std::string cmd = "CMD" + std::to_string(i);
            if (_Rs232Send(0, cmd.c_str(), static_cast<int>(cmd.size())) != 1) {
                ++sendFailures;
            }
        }
    });
    // The peer answers every command it reads.
    for (int i = 0; i < kLines; ++i) {
        std::string cmd = pty.ReadUntil("\n", 2000ms);
        ASSERT_EQ(cmd, "CMD" + std::to_string(i) + "\n");
        ASSERT_TRUE(pty.Write("RE" + std::to_string(i) + "\n"));
    }
    sender.join();
    reader.join();
    EXPECT_EQ(sendFailures.load(), 0);
    ASSERT_EQ(received.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i) {
        EXPECT_EQ(received[static_cast<size_t>(i)], "RE" + std::to_string(i));
    }
}

// A program may end while its threads are still inside the exports on an open port: nothing of
// the port table is destroyed under them. Each run races the end of main against the calls.
TEST(SerialExit, ProgramEndsWhileItsThreadsAreInsidePortCalls)
{
    qmrtest::ScopedWorkDir dir;
    for (int run = 0; run < 20; ++run) {
        qmrtest::PtyPair pty;
        pty.PublishAs(1);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl(QMR_EXIT_IN_CALL, QMR_EXIT_IN_CALL, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "run " << run << ": " << (WIFSIGNALED(status) ? "signal " : "exit ")
            << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    }
}

TEST_F(SerialPort, DummyModeLeavesOccupiedSlotsReal)
{
    EXPECT_EQ(_SetSioDmy(1), 1);
    ASSERT_EQ(_Rs232Open(0, kSettings), 0); // reopened, still the real port
    ASSERT_TRUE(pty.Write("REAL\r\n"));
    EXPECT_EQ(Recv(), "REAL");
    // A new port in dummy mode needs its window, and this program has no QApplication.
    pty.PublishAs(5);
    EXPECT_EQ(_Rs232Open(4, kSettings), -1);
    EXPECT_EQ(_SetSioDmy(2), 2); // only exactly 1 asks for dummy ports
    _Rs232Close(0);
    EXPECT_EQ(_Rs232Open(4, kSettings), 4);
    EXPECT_EQ(_SetSioDmy(0), 0);
    EXPECT_EQ(_EnbBeep(2), 2);
    EXPECT_EQ(_EnbBeep(1), 1);
}

// ---- Ports not open, or whose open fails --------------------------------------------------

class SerialSlots : public ::testing::Test {
protected:
    void TearDown() override { serialtest::CloseAllPorts(); }
    qmrtest::ScopedWorkDir dir;
};

class SerialBadIndex : public SerialSlots, public ::testing::WithParamInterface<int> {};

// Every export on an index out of range or on an empty slot gives its failure value.
TEST_P(SerialBadIndex, EveryExportGivesItsFailureValue)
{
    const int index = GetParam();
    const bool inRange = index >= 0 && index <= 255;
    char buf[8] = {'\x55', '\x55', '\x55', '\x55', '\x55', '\x55', '\x55', '\x55'};
    unsigned long state = 77;
    if (!inRange) {
        EXPECT_EQ(_Rs232Open(index, kSettings), -1);
    }
    EXPECT_EQ(_Rs232CrLf(index, "\n"), inRange ? 1 : 0);
    EXPECT_EQ(_Rs232Send(index, "abc", 3), 0);
    EXPECT_EQ(_Rs232SendN(index, "abc", 3), 0);
    EXPECT_EQ(_Rs232Recv(index, buf, 7), -1);
    EXPECT_EQ(_Rs232RecvN(index, buf, 7), -1);
    EXPECT_EQ(_Rs232RecvLen(index), -1);
    EXPECT_EQ(_Rs_GetSignalState(index, &state), 0);
    EXPECT_EQ(_Rs_SetSignalState(index, 3), 0);
    EXPECT_EQ(_Rs_SetRts(index), 0);
    EXPECT_EQ(_Rs_SetDtr(index), 0);
    EXPECT_EQ(_Rs_SetBreak(index), 0);
    EXPECT_EQ(_Rs_ClrRts(index), 0);
    EXPECT_EQ(_Rs_ClrDtr(index), 0);
    EXPECT_EQ(_Rs_ClrBreak(index), 0);
    auto start = Clock::now();
    _Rs232BufferClear(index);
    _Rs232Name(index, "name");
    _Rs232Close(index);
    EXPECT_LT(MillisecondsSince(start), 50);
    EXPECT_EQ(state, 77u);
    for (char c : buf) {
        EXPECT_EQ(c, '\x55');
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SerialBadIndex, ::testing::Values(-1, 256, 300, INT_MIN, INT_MAX, 0, 5, 255));

TEST_F(SerialSlots, PortIndexNamesComIndexPlusOne)
{
    qmrtest::PtyPair pty;
    pty.PublishAs(10);
    EXPECT_EQ(_Rs232Open(9, kSettings), 9);
    pty.PublishAs(256);
    _Rs232Close(9);
    EXPECT_EQ(_Rs232Open(255, kSettings), 255);
}

struct FailedOpenCase {
    const char* what;
    const char* settings;
    int linkKind; // 0 none, 1 dangling link, 2 a regular file, 3 a device locked by another
};

void PrintTo(const FailedOpenCase& c, std::ostream* os)
{
    *os << c.what;
}

class SerialFailedOpen : public SerialSlots, public ::testing::WithParamInterface<FailedOpenCase> {};

// A failed open leaves the slot empty and no descriptor behind.
TEST_P(SerialFailedOpen, LeavesNoSlotAndNoDescriptor)
{
    const FailedOpenCase& c = GetParam();
    qmrtest::PtyPair pty;
    int holder = -1;
    switch (c.linkKind) {
    case 0:
        if (std::filesystem::exists("/dev/ttyACM2")) {
            GTEST_SKIP() << "this machine has a /dev/ttyACM2";
        }
        break;
    case 1:
        std::filesystem::create_directories("ports");
        std::filesystem::create_symlink("/nonexistent/tty", "ports/COM3");
        break;
    case 2:
        std::filesystem::create_directories("ports");
        qmrtest::WriteFile("ports/COM3", "not a terminal");
        break;
    case 3:
        pty.PublishAs(3);
        holder = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        break;
    default:
        pty.PublishAs(3);
        break;
    }
    const int before = serialtest::OpenDescriptorCount();
    EXPECT_EQ(_Rs232Open(2, c.settings), -1) << c.what;
    EXPECT_EQ(_Rs232Open(2, c.settings), -1) << c.what;
    EXPECT_EQ(serialtest::OpenDescriptorCount(), before) << c.what;
    char buf[4];
    EXPECT_EQ(_Rs232Recv(2, buf, 3), -1);
    if (holder >= 0) {
        close(holder);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SerialFailedOpen,
                         ::testing::Values(FailedOpenCase{"missing device node", kSettings, 0},
                                           FailedOpenCase{"dangling port link", kSettings, 1},
                                           FailedOpenCase{"not a terminal", kSettings, 2},
                                           FailedOpenCase{"held by another program", kSettings, 3},
                                           FailedOpenCase{"malformed settings", "baud=19200 parity=N data=9", 4},
                                           FailedOpenCase{"unknown key", "speed=19200", 4},
                                           FailedOpenCase{"rate the device lacks", "baud=12345", 4},
                                           FailedOpenCase{"empty settings", "", 4},
                                           FailedOpenCase{"no settings", nullptr, 4}));

} // namespace
