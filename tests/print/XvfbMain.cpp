// Main of the tests that need an X server: the program runs itself again under xvfb-run,
// which finds a free display; without xvfb-run its tests are skipped.
#include "QtTestRun.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace {

class NoXServer : public testing::Environment {
public:
    void SetUp() override { GTEST_SKIP() << "xvfb-run is not installed"; }
};

} // namespace

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    if (std::getenv("QMR_UNDER_XVFB") != nullptr) {
        return RunQtTests(argc, argv);
    }
    if (!listing) {
        setenv("QMR_UNDER_XVFB", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1024x768x24 -nolisten tcp")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data()); // returns only when there is none
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (!listing) {
        ::testing::AddGlobalTestEnvironment(new NoXServer);
    }
    return RUN_ALL_TESTS();
}
