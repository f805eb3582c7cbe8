#include "Folder.h"

#include <cerrno>
#include <sys/stat.h>

namespace qmr::platform {

bool MakeFolder(const char* path)
{
    if (mkdir(path, 0777) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace qmr::platform
