// Preloaded into the real program by its test (LD_PRELOAD) in place of Bramble's writing of
// the window positions, the last step of the shut-down: it throws.
#include <stdexcept>

extern "C" __attribute__((visibility("default"))) void _ExitWinPos()
{
    throw std::runtime_error("window positions not written");
}
