#include "platform/Machine.h"

#include <cstdlib>
#include <sys/utsname.h>

namespace qmr::platform {

std::string ProcessorIdentifier()
{
    if (const char* identifier = std::getenv("PROCESSOR_IDENTIFIER")) {
        return identifier;
    }
    utsname name{};
    if (uname(&name) != 0) {
        return {};
    }
    return name.machine;
}

} // namespace qmr::platform
