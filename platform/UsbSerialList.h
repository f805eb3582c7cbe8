#pragma once
// The USB serial ports of this machine as the COM port list sees them: devices found through
// udev (or, where there is no udev database, by walking sysfs) under the COM numbers of the
// port-name rule, and pseudo ports "ports/COMn" that carry a descriptor "ports/COMn.usb".

#include <cstdint>
#include <string>
#include <vector>

namespace qmr::platform {

struct UsbSerialPort {
    int comNumber = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial;  // the USB serial number text; may be empty
    std::string product; // the USB product name; may be empty
    std::string device;  // kernel name ("ttyACM0") or the descriptor's port link ("ports/COM7")
};

// Where a listing looks. The defaults are the machine's own.
struct UsbSerialListSource {
    enum class Devices {
        Auto,  // udev when its database exists, else the sysfs walk
        Udev,  // libudev enumeration only
        Sysfs, // the sysfs walk only
        None,  // no hardware, descriptor ports only
    };
    Devices devices = Devices::Auto;
    std::string sysfsRoot = "/sys";
    std::string portsFolder = "ports"; // relative to the working directory
    std::string devFolder = "/dev";    // where the kernel names have their nodes
};

// Every USB serial port in ascending COM number, each number once. A descriptor port wins
// over a device of the same number, and a device is left out when "ports/COMn" names some
// other node, since COM n then opens that link instead.
std::vector<UsbSerialPort> ListUsbSerialPorts(const UsbSerialListSource& source = {});

// True when a udev database is present (a udev daemon has run on this system).
bool UdevDatabaseExists();

// USB serial devices through libudev; `ok` (when given) is false when udev cannot enumerate.
std::vector<UsbSerialPort> ListUsbSerialDevicesUdev(bool* ok = nullptr);

// USB serial devices by walking <root>/class/tty: each tty whose "device" leads to a folder
// with a USB parent (the nearest ancestor holding idVendor and idProduct).
std::vector<UsbSerialPort> ListUsbSerialDevicesSysfs(const std::string& root = "/sys");

// Ports "<folder>/COMn" (n from 1 to 256, the link's target present) that have a well-formed
// descriptor "<folder>/COMn.usb" beside them.
std::vector<UsbSerialPort> ListDescribedPorts(const std::string& folder = "ports");

// Reads a descriptor: lines "vid=<hex>", "pid=<hex>" (both required, 1 to 4 hex digits,
// optionally prefixed "0x"), "serial=<text>", "name=<text>"; blank lines and lines starting
// with '#' are skipped, other keys ignored. False (port unchanged) when malformed.
bool ParsePortDescriptor(const std::string& text, UsbSerialPort& port);

// Highest COM number a port can have (port indices 0 to 255).
constexpr int kLastComNumber = 256;

} // namespace qmr::platform
