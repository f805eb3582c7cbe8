#include "FakeSysfs.h"

#include "TestSupport.h"

#include <cstdio>

namespace qmrtest {

namespace fs = std::filesystem;

namespace {

const fs::path kHostController = fs::path("devices") / "pci0000:00" / "0000:00:14.0";

std::string Hex4(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id);
    return text;
}

} // namespace

FakeSysfs::FakeSysfs(fs::path root) : root_(std::move(root))
{
    fs::create_directories(root_ / "class" / "tty");
    // The root hub carries ids too; the walk must stop at the nearest USB device.
    fs::path hub = root_ / kHostController / "usb1";
    fs::create_directories(hub);
    WriteFile(hub / "idVendor", "1d6b\n");
    WriteFile(hub / "idProduct", "0002\n");
    WriteFile(hub / "product", "xHCI Host Controller\n");
}

fs::path FakeSysfs::UsbDevice(const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                              const std::string& serial, const std::string& product)
{
    fs::path device = root_ / kHostController / "usb1" / usbPort;
    fs::create_directories(device);
    WriteFile(device / "idVendor", Hex4(vendorId) + "\n");
    WriteFile(device / "idProduct", Hex4(productId) + "\n");
    if (!serial.empty()) {
        WriteFile(device / "serial", serial + "\n");
    }
    if (!product.empty()) {
        WriteFile(device / "product", product + "\n");
    }
    return device;
}

void FakeSysfs::AddClassEntry(const std::string& tty, const fs::path& ttyFolder)
{
    fs::create_symlink(fs::path("../..") / fs::relative(ttyFolder, root_), root_ / "class" / "tty" / tty);
}

void FakeSysfs::AddAcm(const std::string& tty, const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                       const std::string& serial, const std::string& product)
{
    fs::path interface = UsbDevice(usbPort, vendorId, productId, serial, product) / (usbPort + ":1.0");
    fs::path ttyFolder = interface / "tty" / tty;
    fs::create_directories(ttyFolder);
    WriteFile(interface / "bInterfaceClass", "02\n");
    WriteFile(ttyFolder / "dev", "166:0\n");
    fs::create_directory_symlink(fs::path("../../..") / interface.filename(), ttyFolder / "device");
    AddClassEntry(tty, ttyFolder);
}

void FakeSysfs::AddUsbSerial(const std::string& tty, const std::string& usbPort, uint16_t vendorId, uint16_t productId,
                             const std::string& serial, const std::string& product)
{
    fs::path port = UsbDevice(usbPort, vendorId, productId, serial, product) / (usbPort + ":1.0") / tty;
    fs::path ttyFolder = port / "tty" / tty;
    fs::create_directories(ttyFolder);
    WriteFile(ttyFolder / "dev", "188:0\n");
    fs::create_directory_symlink(fs::path("../../..") / port.filename(), ttyFolder / "device");
    AddClassEntry(tty, ttyFolder);
}

void FakeSysfs::AddPlatformSerial(const std::string& tty)
{
    fs::path device = root_ / "devices" / "pnp0" / "00:00";
    fs::path ttyFolder = device / "tty" / tty;
    fs::create_directories(ttyFolder);
    WriteFile(device / "id", "PNP0501\n");
    fs::create_directory_symlink(fs::path("../../..") / device.filename(), ttyFolder / "device");
    AddClassEntry(tty, ttyFolder);
}

void FakeSysfs::AddVirtual(const std::string& tty)
{
    fs::path ttyFolder = root_ / "devices" / "virtual" / "tty" / tty;
    fs::create_directories(ttyFolder);
    AddClassEntry(tty, ttyFolder);
}

} // namespace qmrtest
