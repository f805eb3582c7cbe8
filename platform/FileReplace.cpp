#include "FileReplace.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qmr::platform {

namespace {

std::atomic<unsigned> gSerial{0};

} // namespace

std::FILE* CreateFileBeside(const std::string& path, std::string& name)
{
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // O_EXCL: a name that is taken (or a link planted there) is never written through.
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(gSerial.fetch_add(1));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        if (exists) {
            ::fchmod(fd, old.st_mode & 07777);
        }
        if (std::FILE* stream = ::fdopen(fd, "wb")) {
            return stream;
        }
        ::close(fd);
        ::unlink(name.c_str());
        break;
    }
    name.clear();
    return nullptr;
}

bool SyncFile(std::FILE* stream)
{
    if (stream == nullptr || std::fflush(stream) != 0) {
        return false;
    }
    int result;
    do {
        result = ::fsync(::fileno(stream));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace qmr::platform
