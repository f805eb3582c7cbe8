#include "Wenportfnc.h"

#include "wenport/Wenport.h"

#include <cstdlib>
#include <cstring>

namespace {

// Wenport's list can hold no more ports than there are port indices.
constexpr int kMaxActivePorts = 256;

// The number of a name "COM<n>"; 0 when the name has another form.
int ComNumberOfName(const char* name)
{
    if (std::strncmp(name, "COM", 3) != 0 || name[3] < '0' || name[3] > '9') {
        return 0;
    }
    char* end = nullptr;
    long n = std::strtol(name + 3, &end, 10);
    return n > 0 && n <= 100000 ? static_cast<int>(n) : 0;
}

} // namespace

bool IsActiveUsbCom(int comNumber)
{
    for (int i = 0; i < kMaxActivePorts; ++i) {
        char name[20] = {};
        char second[20] = {};
        if (_GetActiveComName(i, name, second) <= 0) {
            return false;
        }
        name[sizeof name - 1] = '\0';
        int number = ComNumberOfName(name);
        if (number > 0 && number == comNumber) {
            return true;
        }
    }
    return false;
}
