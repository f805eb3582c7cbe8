// The log and window-position entries as the program binds them: by name from libbramble.so.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace {

// Kept mapped after the close, so that sanitizer reports can still name its code.
class BrambleLibrary {
public:
    BrambleLibrary() : handle_(dlopen(BRAMBLE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}
    ~BrambleLibrary()
    {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    BrambleLibrary(const BrambleLibrary&) = delete;
    BrambleLibrary& operator=(const BrambleLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }

    template <typename F>
    F* Get(const char* name) const
    {
        return reinterpret_cast<F*>(dlsym(handle_, name));
    }

private:
    void* handle_;
};

TEST(BrambleExports, LogAndWindowPositionsWorkThroughTheSharedLibrary)
{
    qmrtest::ScopedWorkDir dir;
    BrambleLibrary library;
    ASSERT_TRUE(library.Loaded()) << dlerror();

    auto* startLog = library.Get<unsigned char(int, int)>("_StartLog");
    auto* endLog = library.Get<void()>("_EndLog");
    auto* writeLog = library.Get<unsigned char(char*, char*)>("_WriteLog");
    auto* writeNumLog = library.Get<unsigned char(char*, int)>("_WriteNumLog");
    auto* startWinPos = library.Get<void()>("_StartWinPos");
    auto* exitWinPos = library.Get<void()>("_ExitWinPos");
    auto* setWinPos = library.Get<unsigned char(short, short, short, short, const char*)>("_SetWinPos");
    auto* getWinPos = library.Get<int(short*, short*, short*, short*, const char*)>("_GetWinPos");
    ASSERT_TRUE(startLog && endLog && writeLog && writeNumLog);
    ASSERT_TRUE(startWinPos && exitWinPos && setWinPos && getWinPos);
    // Inner units stay hidden.
    EXPECT_EQ(library.Get<void>("_Z11LogOpenFilec"), nullptr);
    EXPECT_EQ(library.Get<void>("_Z15StartWinPosListb"), nullptr);

    ASSERT_EQ(startLog(0, 'Z'), 1);
    char tag[] = "ComSend";
    char text[] = ":ISI:LEVE 50.5";
    EXPECT_EQ(writeLog(tag, text), 1);
    EXPECT_EQ(writeNumLog(tag, -1), 1);
    endLog();
    std::string logged;
    for (const auto& entry : std::filesystem::directory_iterator("log")) {
        EXPECT_TRUE(entry.path().filename().string().ends_with("Z.log"));
        logged = qmrtest::ReadFile(entry.path());
    }
    EXPECT_NE(logged.find(" ComSend :ISI:LEVE 50.5\r\n"), std::string::npos) << logged;
    EXPECT_NE(logged.find(" ComSend <-1>\r\n"), std::string::npos) << logged;

    // No GUI application here: only a trusted record would be handed back.
    startWinPos();
    EXPECT_EQ(setWinPos(100, 50, 640, 480, "Main"), 1);
    short left = 7;
    short top = 7;
    short width = 7;
    short height = 7;
    EXPECT_EQ(getWinPos(&left, &top, &width, &height, "Main"), 0);
    EXPECT_EQ(left, 7);
    exitWinPos();
    EXPECT_EQ(std::filesystem::file_size("APPPOS.POS"), 48u);
}

} // namespace
