#pragma once
// A simulator started in a private working folder, with a TCP client connected to it.

#include "SimClient.h"
#include "Simulator.h"
#include "TestSupport.h"

#include <cctype>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace simtest {

// A parameter's text as a test name: letters, digits and '_' only (the test list is a CMake
// list, where ';' and quotes would not survive).
inline void PrintSafe(const std::string& text, std::ostream* os)
{
    for (char c : text) {
        *os << (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    }
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { Begin(); }

    // (Re)starts the simulator with these options; tcpPort is always an ephemeral port.
    void Begin(qmrsim::SimulatorOptions options = {})
    {
        options.tcpPort = 0;
        options.dir = dir.Path();
        ASSERT_TRUE(sim.Start(options)) << sim.LastError();
        ASSERT_TRUE(tcp.ConnectTcp(sim.TcpPort()));
        ASSERT_TRUE(qmrtest::WaitFor([&] { return sim.TcpClientConnected(); }, std::chrono::milliseconds(2000)));
    }

    // The reply to a line, or "(none)" when no line came in time.
    std::string Ask(const std::string& line) { return tcp.Ask(line).value_or("(none)"); }

    qmrtest::ScopedWorkDir dir;
    qmrsim::Simulator sim;
    LineClient tcp;
};

} // namespace simtest
