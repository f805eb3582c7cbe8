// Whatever the peer sends (zero bytes, bytes above 127, very long lines, a flood of lines),
// the link neither crashes nor hangs, keeps receiving, and every log line stays whole.
#include "app/link/Comapl.h"
#include "app/link/Comthread.h"
#include "app/link/Kstream.h"
#include "bramble/Bramble.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <cctype>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

using namespace std::chrono_literals;

namespace {

std::mutex gMutex;
std::string gReceived;

void Collect(char* data, int* count)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gReceived.append(data, static_cast<size_t>(*count));
}

bool Received(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gReceived.find(text) != std::string::npos;
}

std::vector<std::string> Garbage()
{
    std::vector<std::string> chunks;
    chunks.push_back(std::string("\0\0\0\n", 4));
    chunks.push_back(std::string("ab\0cd\n", 6));
    std::string high;
    for (int c = 128; c < 256; ++c) {
        high.push_back(static_cast<char>(c));
    }
    chunks.push_back(high + "\n");
    chunks.push_back("\r\r\r\n\t\x01\x7f\n");
    chunks.push_back(std::string(10000, 'L') + "\n");
    chunks.push_back(std::string(10000, '\xe9') + "\n");
    std::string flood;
    for (int i = 0; i < 5000; ++i) {
        flood += "+" + std::to_string(i) + "\n";
    }
    chunks.push_back(flood);
    chunks.push_back("END\n");
    return chunks;
}

// "yyyy/MM/dd H:mm:ss " and a tag's first character.
bool BeginsWithDateTimeAndTag(const std::string& line)
{
    auto digits = [&](size_t at, size_t n) {
        for (size_t i = at; i < at + n; ++i) {
            if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) {
                return false;
            }
        }
        return true;
    };
    if (line.size() < 20 || !digits(0, 4) || line[4] != '/' || !digits(5, 2) || line[7] != '/' || !digits(8, 2) ||
        line[10] != ' ') {
        return false;
    }
    size_t at = 11;
    size_t hour = std::isdigit(static_cast<unsigned char>(line[12])) ? 2 : 1;
    if (!digits(at, hour) || line[at + hour] != ':' || !digits(at + hour + 1, 2) || line[at + hour + 3] != ':' ||
        !digits(at + hour + 4, 2) || line[at + hour + 6] != ' ') {
        return false;
    }
    return line.size() > at + hour + 7 && line[at + hour + 7] != ' ';
}

// Sends the garbage, waits until the reader has seen all of it, then checks that a plain
// reply still comes through and that the log is made of whole lines.
void Hammer(const std::function<bool(const std::string&)>& send, const char* terminatorToSend, bool longLinesWhole)
{
    for (std::string chunk : Garbage()) {
        if (std::string(terminatorToSend) != "\n") {
            for (size_t at = 0; (at = chunk.find('\n', at)) != std::string::npos; at += 2) {
                chunk.replace(at, 1, terminatorToSend);
            }
        }
        ASSERT_TRUE(send(chunk));
    }
    ASSERT_TRUE(qmrtest::WaitFor([] { return linktest::LogHas("RECV", "END"); }, 20s));
    ASSERT_TRUE(qmrtest::WaitFor([] { return RxFifoCount() == 0; }, 2s));
    ASSERT_TRUE(send(std::string("FINAL") + terminatorToSend));
    ASSERT_TRUE(qmrtest::WaitFor([] { return Received("FINAL"); }, 3s));

    // Carriage returns and other bytes are logged as they came; only line feeds end lines,
    // so every line must begin with its date, time and tag.
    int recv = 0;
    for (const std::string& line : linktest::LogLines()) {
        EXPECT_TRUE(BeginsWithDateTimeAndTag(line)) << line.substr(0, 80);
        if (line.find(" RECV ") != std::string::npos) {
            ++recv;
        }
    }
    EXPECT_GT(recv, 5000);
    // The serial port's line buffer drops what no terminator ends within its size.
    EXPECT_EQ(linktest::LogHas("RECV", std::string(10000, 'L')), longLinesWhole);
}

} // namespace

TEST(LinkBadInput, OverLan)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_EQ(_StartLog(0, 0), 1);
    linktest::TcpPeer peer;
    ComThread* link = MakeComTcpip("127.0.0.1", peer.Port(), "\n", Collect);
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(peer.Accept());
    Hammer([&](const std::string& bytes) { return peer.Send(bytes); }, "\n", true);
    EXPECT_TRUE(CloseComThread(link));
    _EndLog();
}

TEST(LinkBadInput, OverUsb)
{
    qmrtest::ScopedWorkDir dir;
    ASSERT_EQ(_StartLog(0, 0), 1);
    qmrtest::PtyPair pty;
    pty.PublishAs(5);
    ComThread* link = MakeCom232(4, 19200, "\r\n", Collect);
    ASSERT_NE(link, nullptr);
    Hammer([&](const std::string& bytes) { return pty.Write(bytes); }, "\r\n", false);
    EXPECT_TRUE(CloseComThread(link));
    _EndLog();
}
