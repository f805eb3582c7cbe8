// Preloaded into the real program by its test (LD_PRELOAD): Bramble's loading or writing of
// the window positions throws, as QMR_THROW_IN asks ("start" or "exit"); otherwise Bramble's
// own function runs. An exception out of the making of the start-up window, or out of its
// shut-down, without touching the program.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void ThrowOrCall(const char* when, const char* name)
{
    const char* asked = std::getenv("QMR_THROW_IN");
    if (asked != nullptr && std::strcmp(asked, when) == 0) {
        throw std::runtime_error(std::string("thrown at ") + when);
    }
    reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, name))();
}

} // namespace

extern "C" __attribute__((visibility("default"))) void _StartWinPos()
{
    ThrowOrCall("start", "_StartWinPos");
}

extern "C" __attribute__((visibility("default"))) void _ExitWinPos()
{
    ThrowOrCall("exit", "_ExitWinPos");
}
