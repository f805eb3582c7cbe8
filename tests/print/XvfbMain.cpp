// Main of the tests that need a real X server: the program runs itself again under xvfb-run,
// which finds a free display, and skips its tests where there is none to be had.
#include "QtTestRun.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool OnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        end = end == std::string::npos ? dirs.size() : end;
        if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

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
    if (listing) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    if (std::getenv("QMR_UNDER_XVFB") == nullptr) {
        if (!OnPath("xvfb-run")) {
            ::testing::InitGoogleTest(&argc, argv);
            ::testing::AddGlobalTestEnvironment(new NoXServer);
            return RUN_ALL_TESTS();
        }
        setenv("QMR_UNDER_XVFB", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1024x768x24 -nolisten tcp")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        return 1;
    }
    return RunQtTests(argc, argv);
}
