#include "UsbSerialList.h"

#include "PortNames.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libudev.h>
#include <map>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace qmr::platform {

namespace fs = std::filesystem;

namespace {

// sysfs attributes and port descriptors are short.
constexpr std::streamsize kMaxAttributeBytes = 4096;

std::string TrimLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool ReadSmallFile(const fs::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    text.assign(kMaxAttributeBytes, '\0');
    in.read(text.data(), kMaxAttributeBytes);
    text.resize(static_cast<size_t>(in.gcount()));
    // Larger than any attribute or descriptor: not one, and not to be read in part.
    return !in.bad() && in.peek() == std::ifstream::traits_type::eof();
}

std::string ReadAttribute(const fs::path& path)
{
    std::string text;
    if (!ReadSmallFile(path, text)) {
        return {};
    }
    return TrimLineEnd(text);
}

// 1 to 4 hex digits, optionally after "0x".
bool ParseHexId(std::string_view text, uint16_t& id)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    id = static_cast<uint16_t>(value);
    return true;
}

// "COM<n>" with n from 1 to kLastComNumber written without leading zeros, as PortLinkPath
// names the links; 0 otherwise.
int ComNumberOfLinkName(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') {
        return 0;
    }
    int n = 0;
    auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), n);
    if (ec != std::errc() || end != name.data() + name.size() || n < 1 || n > kLastComNumber) {
        return 0;
    }
    return n;
}

bool SameNode(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) {
        return false;
    }
    if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) {
        return sa.st_rdev == sb.st_rdev;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether `path` lies inside `folder` (both canonical).
bool IsWithin(const fs::path& path, const fs::path& folder)
{
    auto [f, p] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return f == folder.end();
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string SysattrOf(udev_device* device, const char* name)
{
    const char* value = udev_device_get_sysattr_value(device, name);
    return value != nullptr ? TrimLineEnd(value) : std::string();
}

} // namespace

bool ParsePortDescriptor(const std::string& text, UsbSerialPort& port)
{
    UsbSerialPort parsed = port;
    bool haveVid = false;
    bool havePid = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = TrimLineEnd(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (key == "vid") {
            if (!ParseHexId(value, parsed.vendorId)) {
                return false;
            }
            haveVid = true;
        } else if (key == "pid") {
            if (!ParseHexId(value, parsed.productId)) {
                return false;
            }
            havePid = true;
        } else if (key == "serial") {
            parsed.serial = value;
        } else if (key == "name") {
            parsed.product = value;
        }
    }
    if (!haveVid || !havePid) {
        return false;
    }
    port = parsed;
    return true;
}

bool UdevDatabaseExists()
{
    std::error_code ec;
    return fs::is_directory("/run/udev/data", ec);
}

std::vector<UsbSerialPort> ListUsbSerialDevicesUdev(bool* ok)
{
    std::vector<UsbSerialPort> ports;
    if (ok != nullptr) {
        *ok = false;
    }
    UdevPtr<udev> context(udev_new());
    if (!context) {
        return ports;
    }
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) {
            continue;
        }
        const char* sysname = udev_device_get_sysname(device.get());
        int com = sysname != nullptr ? ComNumberForDeviceName(sysname) : 0;
        if (com <= 0) {
            continue;
        }
        // Owned by `device`; not unreferenced here.
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
        if (usb == nullptr) {
            continue;
        }
        UsbSerialPort port;
        port.comNumber = com;
        if (!ParseHexId(SysattrOf(usb, "idVendor"), port.vendorId) ||
            !ParseHexId(SysattrOf(usb, "idProduct"), port.productId)) {
            continue;
        }
        port.serial = SysattrOf(usb, "serial");
        port.product = SysattrOf(usb, "product");
        port.device = sysname;
        ports.push_back(std::move(port));
    }
    if (ok != nullptr) {
        *ok = true;
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.comNumber < b.comNumber; });
    return ports;
}

std::vector<UsbSerialPort> ListUsbSerialDevicesSysfs(const std::string& root)
{
    std::vector<UsbSerialPort> ports;
    std::error_code ec;
    fs::path devices = fs::canonical(fs::path(root) / "devices", ec);
    if (ec) {
        return ports;
    }
    fs::directory_iterator it(fs::path(root) / "class" / "tty", ec);
    if (ec) {
        return ports;
    }
    for (const fs::directory_entry& tty : it) {
        std::string name = tty.path().filename().string();
        int com = ComNumberForDeviceName(name);
        if (com <= 0) {
            continue;
        }
        // Virtual terminals have no "device"; hardware ones lead into the device tree.
        fs::path folder = fs::canonical(tty.path() / "device", ec);
        if (ec || !IsWithin(folder, devices)) {
            continue;
        }
        for (; folder != devices && IsWithin(folder, devices); folder = folder.parent_path()) {
            if (fs::is_regular_file(folder / "idVendor", ec) && fs::is_regular_file(folder / "idProduct", ec)) {
                break;
            }
        }
        if (folder == devices || !IsWithin(folder, devices)) {
            continue;
        }
        UsbSerialPort port;
        port.comNumber = com;
        if (!ParseHexId(ReadAttribute(folder / "idVendor"), port.vendorId) ||
            !ParseHexId(ReadAttribute(folder / "idProduct"), port.productId)) {
            continue;
        }
        port.serial = ReadAttribute(folder / "serial");
        port.product = ReadAttribute(folder / "product");
        port.device = name;
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.comNumber < b.comNumber; });
    return ports;
}

std::vector<UsbSerialPort> ListDescribedPorts(const std::string& folder)
{
    std::vector<UsbSerialPort> ports;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return ports;
    }
    for (const fs::directory_entry& entry : it) {
        std::string name = entry.path().filename().string();
        int com = ComNumberOfLinkName(name);
        if (com <= 0) {
            continue;
        }
        // A link whose node is gone (a simulator that has ended) is an unplugged port.
        if (!fs::exists(entry.path(), ec)) {
            continue;
        }
        std::string text;
        if (!ReadSmallFile(fs::path(folder) / (name + ".usb"), text)) {
            continue;
        }
        UsbSerialPort port;
        if (!ParsePortDescriptor(text, port)) {
            continue;
        }
        port.comNumber = com;
        port.device = (fs::path(folder) / name).string();
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.comNumber < b.comNumber; });
    return ports;
}

std::vector<UsbSerialPort> ListUsbSerialPorts(const UsbSerialListSource& source)
{
    std::vector<UsbSerialPort> devices;
    switch (source.devices) {
    case UsbSerialListSource::Devices::Auto:
        if (UdevDatabaseExists()) {
            bool ok = false;
            devices = ListUsbSerialDevicesUdev(&ok);
            if (!ok) {
                devices = ListUsbSerialDevicesSysfs(source.sysfsRoot);
            }
        } else {
            devices = ListUsbSerialDevicesSysfs(source.sysfsRoot);
        }
        break;
    case UsbSerialListSource::Devices::Udev:
        devices = ListUsbSerialDevicesUdev();
        break;
    case UsbSerialListSource::Devices::Sysfs:
        devices = ListUsbSerialDevicesSysfs(source.sysfsRoot);
        break;
    case UsbSerialListSource::Devices::None:
        break;
    }

    std::map<int, UsbSerialPort> byCom;
    for (UsbSerialPort& port : ListDescribedPorts(source.portsFolder)) {
        byCom.emplace(port.comNumber, std::move(port));
    }
    for (UsbSerialPort& port : devices) {
        if (byCom.count(port.comNumber) != 0) {
            continue;
        }
        std::string link = source.portsFolder + "/COM" + std::to_string(port.comNumber);
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0 && !SameNode(link, source.devFolder + "/" + port.device)) {
            continue;
        }
        byCom.emplace(port.comNumber, std::move(port));
    }
    std::vector<UsbSerialPort> ports;
    ports.reserve(byCom.size());
    for (auto& [com, port] : byCom) {
        ports.push_back(std::move(port));
    }
    return ports;
}

} // namespace qmr::platform
