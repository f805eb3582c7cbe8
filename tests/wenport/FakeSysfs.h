#pragma once
// A small sysfs tree laid out like the kernel's: class/tty entries are links into devices/,
// a tty's "device" link leads to its interface (CDC-ACM) or its usb-serial port, and the
// USB device above holds idVendor, idProduct, serial and product.

#include <cstdint>
#include <filesystem>
#include <string>

namespace qmrtest {

class FakeSysfs {
public:
    explicit FakeSysfs(std::filesystem::path root);

    const std::filesystem::path& Root() const { return root_; }

    // A CDC-ACM port ("ttyACMn") of the USB device at bus port `usbPort` ("1-1").
    // An empty serial or product leaves that file out.
    void AddAcm(const std::string& tty, const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                const std::string& serial, const std::string& product);
    // A usb-serial converter port ("ttyUSBn"): one more level between interface and tty.
    void AddUsbSerial(const std::string& tty, const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                      const std::string& serial, const std::string& product);
    // A port of the machine itself ("ttyS0"): a device, but no USB parent.
    void AddPlatformSerial(const std::string& tty);
    // A virtual terminal ("tty1"): no device link at all.
    void AddVirtual(const std::string& tty);

private:
    std::filesystem::path UsbDevice(const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                                    const std::string& serial, const std::string& product);
    void AddClassEntry(const std::string& tty, const std::filesystem::path& ttyFolder);

    std::filesystem::path root_;
};

} // namespace qmrtest
