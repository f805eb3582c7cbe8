#include "app/core/Appdefine.h"
#include "common/QmrUsbIds.h"
#include "platform/Process.h"
#include "wenport/Wenport.h"

#include "SimClient.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qmrtest::ReadFile;
using qmrtest::WaitFor;

namespace {

bool Present(const fs::path& path)
{
    return fs::exists(fs::symlink_status(path));
}

bool Ended(qmr::platform::Process& process, std::chrono::milliseconds timeout)
{
    return WaitFor([&] { return process.WaitSlice(0) == qmr::platform::Process::WaitResult::Ended; }, timeout);
}

struct RunCase {
    const char* name;
    bool lan;
    int signal;
    bool toProgram; // else to the run command
};

// Three runs one after the other in one folder, each ended another way; a second run started
// beside the first is refused and leaves the first one's port alone; a stale port of a run
// that was killed is cleared.
TEST(RunCommand, OneFaceThatTheSettingsSelectAndNothingLeftBehind)
{
    qmrtest::ScopedWorkDir work;
    const std::string script = (qmrtest::SourceDir() / "tools" / "run-sim.sh").string();
    const fs::path program = work.Path() / "program";
    qmrtest::WriteFile(program,
                       "#!/bin/sh\necho \"$$ $PPID\" >program.tmp\nmv program.tmp program.pids\nexec sleep 600\n");
    fs::permissions(program, fs::perms(0755));

    const RunCase cases[] = {
        {"USB, SIGTERM to the run", false, SIGTERM, false},
        {"LAN, SIGINT to the run", true, SIGINT, false},
        {"USB, the program closes", false, SIGTERM, true},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("program.pids");
        std::vector<std::string> arguments;
        if (c.lan) {
            arguments.push_back("--lan");
            // What a run killed outright leaves: its USB face, which would block a LAN connect.
            fs::create_directories("ports");
            fs::create_symlink("/nonexistent/pts", "ports/COM1");
            qmrtest::WriteFile("ports/COM1.usb", "vid=2f5a\npid=3400\nserial=SN1\nname=QMR3400\n");
        }
        arguments.insert(arguments.end(), {QMR_BIN_DIR, work.Path().string(), program.string()});
        qmr::platform::Process run;
        ASSERT_TRUE(run.Start(script, arguments, true));
        ASSERT_TRUE(WaitFor([] { return fs::exists("program.pids"); }, 30s));
        int programPid = 0;
        int runPid = 0;
        std::istringstream(ReadFile("program.pids")) >> programPid >> runPid;
        ASSERT_GT(programPid, 0);

        AppSetRecord record{};
        const std::string bytes = ReadFile("APPSET.DAT");
        ASSERT_EQ(bytes.size(), sizeof record);
        std::memcpy(&record, bytes.data(), sizeof record);
        _SetVidPid(qmr::kQmrUsbVendorId, qmr::kQmrUsbProductId);
        char name[20] = {};
        const int listed = _GetUsbComName(0, name);
        simtest::LineClient face;
        if (c.lan) {
            EXPECT_EQ(record.Com.Interface, kInterfaceLan);
            EXPECT_STREQ(record.Com.IpAddress, "127.0.0.1");
            EXPECT_LT(listed, 0) << "a USB instrument is listed: " << name;
            EXPECT_FALSE(Present("ports/COM1.usb"));
            ASSERT_TRUE(face.ConnectTcp(record.Com.TcpPort));
        } else {
            EXPECT_EQ(record.Com.Interface, kInterfaceUsb);
            EXPECT_EQ(listed, record.Com.ComPort);
            ASSERT_TRUE(face.OpenSerial("ports/COM" + std::to_string(record.Com.ComPort)));
        }
        const auto identity = face.Ask("*IDN?");
        ASSERT_TRUE(identity.has_value());
        EXPECT_NE(identity->find("QMR3400"), std::string::npos) << *identity;
        face.Close();

        if (&c == &cases[0]) {
            qmr::platform::Process second;
            ASSERT_TRUE(second.Start(script, {QMR_BIN_DIR, work.Path().string(), program.string()}, true));
            ASSERT_TRUE(Ended(second, 30s));
            EXPECT_EQ(second.ExitCode(), 1);
            EXPECT_TRUE(Present("ports/COM1"));
            EXPECT_TRUE(Present("ports/COM1.usb"));
        }

        kill(c.toProgram ? programPid : runPid, c.signal);
        ASSERT_TRUE(Ended(run, 30s));
        EXPECT_NE(kill(programPid, 0), 0) << "the program still runs";
        EXPECT_FALSE(Present("ports/COM1"));
        EXPECT_FALSE(Present("ports/COM1.usb"));
    }
}

// The rule that gives a real instrument's port to the dialout group and keeps ModemManager
// off it names exactly the ids that the program looks for.
TEST(RunCommand, UdevRuleNamesTheInstrumentsIds)
{
    const std::string rules = ReadFile(qmrtest::SourceDir() / "tools" / "udev" / "70-qmr3400.rules");
    auto hex = [](unsigned id) {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", id);
        return std::string(text);
    };
    // The values of every ATTRS{<key>}=="<value>" match.
    auto values = [&](const std::string& key) {
        std::set<std::string> found;
        const std::string match = "ATTRS{" + key + "}==\"";
        for (size_t at = rules.find(match); at != std::string::npos; at = rules.find(match, at + 1)) {
            const size_t begin = at + match.size();
            found.insert(rules.substr(begin, rules.find('"', begin) - begin));
        }
        return found;
    };
    const std::set<std::string> vendors = values("idVendor");
    const std::set<std::string> products = values("idProduct");
    EXPECT_EQ(vendors, std::set<std::string>{hex(qmr::kQmrUsbVendorId)});
    EXPECT_EQ(products, (std::set<std::string>{hex(qmr::kQmrUsbProductId), hex(qmr::kQmrUsbProductIdAlt)}));
    EXPECT_NE(rules.find(R"(GROUP="dialout")"), std::string::npos);
    EXPECT_NE(rules.find(R"(ENV{ID_MM_DEVICE_IGNORE}="1")"), std::string::npos);
}

} // namespace
