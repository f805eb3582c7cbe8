#include "Folder.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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

std::string ProgramFolder()
{
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace qmr::platform
