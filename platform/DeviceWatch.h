#pragma once
// Notices when serial devices come or go: a udev monitor on the tty subsystem, and a watch on
// the working directory's "ports/" folder (where simulators publish their pseudo-terminals).
// The owner polls the descriptors that Fds() gives and calls Drain() when one is readable.

#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace qmr::platform {

class DeviceWatch {
public:
    enum class Monitor {
        Auto,   // "udev" where a udev daemon runs, else the kernel's own events
        Udev,   // events after udev has processed them
        Kernel, // the kernel's events as they happen
        None,   // the ports/ folder only
    };

    // Opens the monitor and the folder watch of the current working directory (as it is now).
    explicit DeviceWatch(Monitor monitor = Monitor::Auto);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // The monitor's socket and the folder watch's descriptor; -1 when that part could not be
    // opened.
    int MonitorFd() const { return monitorFd_; }
    int FolderFd() const { return inotifyFd_; }
    // Those of the two that are open.
    std::vector<int> Fds() const;
    // "udev", "kernel" or "" when no monitor is open.
    const std::string& MonitorSource() const { return source_; }

    // Reads every pending event without blocking; true when any tty device or anything in
    // ports/ (the folder itself included) has changed.
    bool Drain();

private:
    void OpenMonitor(Monitor monitor);
    void OpenFolderWatch();
    void WatchPortsFolder();
    bool DrainMonitor();
    bool DrainFolder();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int monitorFd_ = -1;
    std::string source_;

    int inotifyFd_ = -1;
    int workDirWatch_ = -1;
    int portsWatch_ = -1;
    std::string portsPath_;
};

} // namespace qmr::platform
