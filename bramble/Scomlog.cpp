#include "Scomlog.h"

#include "Logfile.h"

#include <cstring>
#include <string>

namespace bramble {

void LogOpenFailure(int index, const qmr::platform::SerialOpenFailure& failure)
{
    std::string text = "COM" + std::to_string(index + 1) + " ";
    text += failure.node.empty() ? std::string("(no device node)") : failure.node;
    if (!failure.linkTarget.empty()) {
        text += " -> " + failure.linkTarget;
    }
    text += ": ";
    text += std::strerror(failure.error);
    char tag[] = "Rs232Open ERROR";
    LogWrite(tag, text.data());
}

} // namespace bramble
