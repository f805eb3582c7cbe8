#include "DeviceWatch.h"

#include "PortNames.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace qmr::platform {

namespace {

// What changes a port listing in ports/: links and descriptors made, removed, renamed or
// relinked, a descriptor finished writing, and the folder itself going away.
constexpr uint32_t kPortsMask = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// In the working directory only the coming and going of ports/ itself matters.
constexpr uint32_t kWorkDirMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

bool UdevDaemonRuns()
{
    return access("/run/udev/control", F_OK) == 0;
}

std::string WorkingDirectory()
{
    char path[PATH_MAX];
    return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string(".");
}

} // namespace

DeviceWatch::DeviceWatch(Monitor monitor)
{
    OpenMonitor(monitor);
    OpenFolderWatch();
}

DeviceWatch::~DeviceWatch()
{
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
    }
    if (inotifyFd_ >= 0) {
        close(inotifyFd_);
    }
}

std::vector<int> DeviceWatch::Fds() const
{
    std::vector<int> fds;
    if (monitorFd_ >= 0) {
        fds.push_back(monitorFd_);
    }
    if (inotifyFd_ >= 0) {
        fds.push_back(inotifyFd_);
    }
    return fds;
}

void DeviceWatch::OpenMonitor(Monitor monitor)
{
    if (monitor == Monitor::None) {
        return;
    }
    // Where udev runs, its events come once the device node and its database entry exist;
    // the kernel's come earlier. Without a daemon (containers) only the kernel's come at all.
    const char* source = "kernel";
    if (monitor == Monitor::Udev || (monitor == Monitor::Auto && UdevDaemonRuns())) {
        source = "udev";
    }
    udev_ = udev_new();
    if (udev_ == nullptr) {
        return;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, source);
    if (monitor_ == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
        return;
    }
    monitorFd_ = udev_monitor_get_fd(monitor_);
    source_ = source;
}

void DeviceWatch::OpenFolderWatch()
{
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        return;
    }
    std::string workDir = WorkingDirectory();
    portsPath_ = workDir + "/" + PortsFolder();
    // The working directory first, so that a ports/ made between the two calls is noticed.
    workDirWatch_ = inotify_add_watch(inotifyFd_, workDir.c_str(), kWorkDirMask);
    WatchPortsFolder();
}

void DeviceWatch::WatchPortsFolder()
{
    int wd = inotify_add_watch(inotifyFd_, portsPath_.c_str(), kPortsMask);
    if (wd >= 0) {
        portsWatch_ = wd;
    }
}

bool DeviceWatch::Drain()
{
    bool changed = DrainMonitor();
    changed = DrainFolder() || changed;
    return changed;
}

bool DeviceWatch::DrainMonitor()
{
    if (monitor_ == nullptr) {
        return false;
    }
    bool changed = false;
    // The socket does not block; events of other subsystems are dropped inside.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        changed = true;
        udev_device_unref(device);
    }
    return changed;
}

bool DeviceWatch::DrainFolder()
{
    if (inotifyFd_ < 0) {
        return false;
    }
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = read(inotifyFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);

            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                // Events were lost: count it as a change and make sure ports/ is watched.
                changed = true;
                WatchPortsFolder();
            } else if (event.wd == workDirWatch_ && workDirWatch_ >= 0) {
                if ((event.mask & IN_IGNORED) != 0) {
                    workDirWatch_ = -1; // the working directory itself is gone
                    continue;
                }
                if (event.len == 0 || std::strcmp(name, PortsFolder().c_str()) != 0) {
                    continue;
                }
                changed = true;
                if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
                    WatchPortsFolder();
                } else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0 && portsWatch_ >= 0) {
                    inotify_rm_watch(inotifyFd_, portsWatch_);
                    portsWatch_ = -1;
                }
            } else if (event.wd == portsWatch_ && portsWatch_ >= 0) {
                changed = true;
                if ((event.mask & IN_IGNORED) != 0) {
                    portsWatch_ = -1;
                } else if ((event.mask & IN_MOVE_SELF) != 0) {
                    // The watch would follow the folder to its new name.
                    inotify_rm_watch(inotifyFd_, portsWatch_);
                    portsWatch_ = -1;
                }
            }
        }
    }
    return changed;
}

} // namespace qmr::platform
