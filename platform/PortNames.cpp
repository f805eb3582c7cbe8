#include "PortNames.h"

#include <sys/stat.h>

namespace qmr::platform {

namespace {

struct Range {
    const char* prefix;
    int firstCom;
};

constexpr Range kRanges[] = {
    {"ttyACM", 1},
    {"ttyUSB", 33},
    {"ttyS", 65},
};
constexpr int kRangeSize = 32;

} // namespace

std::string PortsFolder()
{
    return "ports";
}

std::string PortLinkPath(int comNumber)
{
    return PortsFolder() + "/COM" + std::to_string(comNumber);
}

std::string DevicePathForCom(int comNumber)
{
    if (comNumber < 1) {
        return {};
    }
    std::string link = PortLinkPath(comNumber);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        return link;
    }
    for (const Range& r : kRanges) {
        if (comNumber >= r.firstCom && comNumber < r.firstCom + kRangeSize) {
            return std::string("/dev/") + r.prefix + std::to_string(comNumber - r.firstCom);
        }
    }
    return {};
}

bool ComDeviceExists(int comNumber)
{
    std::string path = DevicePathForCom(comNumber);
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

int ComNumberForDeviceName(const std::string& deviceName)
{
    std::string name = deviceName;
    if (auto slash = name.rfind('/'); slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    for (const Range& r : kRanges) {
        std::string prefix = r.prefix;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        std::string digits = name.substr(prefix.size());
        if (digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return 0;
        }
        int n = std::stoi(digits);
        return n < kRangeSize ? r.firstCom + n : 0;
    }
    return 0;
}

} // namespace qmr::platform
