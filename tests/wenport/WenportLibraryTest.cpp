// The shared library as the program binds it: its export table and a listing through it.
#include "wenport/Wenport.h"

#include "TestSupport.h"
#include "common/QmrUsbIds.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string RunCommand(const std::string& command, int& status)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), n);
    }
    status = pclose(pipe);
    return output;
}

} // namespace

TEST(WenportLibrary, ExportsExactlyTheFiveFunctions)
{
    int status = 0;
    std::string listing = RunCommand("nm -D --defined-only '" WENPORT_LIBRARY_PATH "' 2>&1", status);
    ASSERT_EQ(status, 0) << listing;
    std::set<std::string> names;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field;
        std::string last;
        while (fields >> field) {
            last = field;
        }
        if (!last.empty()) {
            names.insert(last);
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"_GetActiveComName", "_GetUsbComDeviceName", "_GetUsbComName",
                                            "_GetUsbComSerial", "_SetVidPid"}))
        << listing;
}

TEST(WenportLibrary, ListsASimulatedInstrumentOnAPseudoTerminal)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair sim;
    sim.PublishAs(250);
    qmrtest::WriteFile("ports/COM250.usb", "vid=2f5a\npid=3401\nserial=SIM0250\nname=Simulated QMR3400\n");

    _SetVidPid(qmr::kQmrUsbVendorId, qmr::kQmrUsbProductIdAlt);
    // Devices of this machine come first (lower numbers); the pseudo port is the last one.
    int last = -1;
    int index = 0;
    char name[20];
    for (; index < 256; ++index) {
        int com = _GetUsbComName(index, name);
        if (com < 0) {
            break;
        }
        last = index;
    }
    ASSERT_GE(last, 0);
    ASSERT_LT(index, 256);
    EXPECT_EQ(_GetUsbComName(last, name), 250);
    EXPECT_STREQ(name, "COM250");
    char serial[20];
    ASSERT_GT(_GetUsbComSerial(last, serial), 0);
    EXPECT_STREQ(serial, "SIM0250");
    char device[104];
    ASSERT_NE(_GetUsbComDeviceName(qmr::kQmrUsbVendorId, qmr::kQmrUsbProductIdAlt, serial, device), 0);
    EXPECT_STREQ(device, "Simulated QMR3400 (COM250)");

    bool seen = false;
    for (int i = 0; i < 256; ++i) {
        char active[20];
        char second[20];
        int com = _GetActiveComName(i, active, second);
        if (com <= 0) {
            break;
        }
        seen = seen || (com == 250 && std::string(active) == "COM250");
    }
    EXPECT_TRUE(seen);
}
