#include "wenport/Wenport.h"

#include "platform/UsbSerialList.h"
#include "wenport/WenportSource.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using qmr::platform::UsbSerialListSource;
using qmr::platform::UsbSerialPort;

// The sizes that the callers' buffers are documented to hold.
constexpr size_t kNameBufferSize = 20;
constexpr size_t kSerialBufferSize = 20;
constexpr size_t kDeviceNameBufferSize = 104;

// What a desktop shows for a CDC port whose device names no product.
constexpr const char* kUnnamedProduct = "USB Serial Device";

// Vendor id in the high half, product id in the low half: one value, so that a reader never
// sees the vendor of one selection with the product of another.
std::atomic<uint32_t> selectedIds{0};

std::mutex sourceLock;
UsbSerialListSource listSource;

std::vector<UsbSerialPort> CurrentPorts()
{
    UsbSerialListSource source;
    {
        std::lock_guard<std::mutex> lock(sourceLock);
        source = listSource;
    }
    return qmr::platform::ListUsbSerialPorts(source);
}

std::vector<UsbSerialPort> PortsWithIds(uint16_t vendorId, uint16_t productId)
{
    std::vector<UsbSerialPort> matching;
    for (UsbSerialPort& port : CurrentPorts()) {
        if (port.vendorId == vendorId && port.productId == productId) {
            matching.push_back(std::move(port));
        }
    }
    return matching;
}

std::vector<UsbSerialPort> SelectedPorts()
{
    uint32_t ids = selectedIds.load();
    return PortsWithIds(static_cast<uint16_t>(ids >> 16), static_cast<uint16_t>(ids & 0xFFFF));
}

// The longest prefix of `text` of at most `limit` bytes that does not split a UTF-8 sequence.
size_t CutLength(const std::string& text, size_t limit)
{
    if (text.size() <= limit) {
        return text.size();
    }
    size_t length = limit;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    return length;
}

// Copies `text` into a buffer of `size` bytes, cut to fit, always zero-terminated.
void CopyBounded(const std::string& text, char* buffer, size_t size)
{
    size_t length = CutLength(text, size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

std::string ComName(int comNumber)
{
    return "COM" + std::to_string(comNumber);
}

// The product name and " (COM<n>)"; the product is cut so that the port number survives.
std::string DisplayName(const UsbSerialPort& port)
{
    std::string product = port.product.empty() ? kUnnamedProduct : port.product;
    std::string suffix = " (" + ComName(port.comNumber) + ")";
    size_t room = kDeviceNameBufferSize - 1 - suffix.size();
    return product.substr(0, CutLength(product, room)) + suffix;
}

// The caller holds the serial text that _GetUsbComSerial gave, which may be cut.
bool SerialMatches(const std::string& serial, const char* given)
{
    std::string text = given;
    return serial == text || serial.substr(0, CutLength(serial, kSerialBufferSize - 1)) == text;
}

} // namespace

namespace qmr::wenport {

void SetListSource(const UsbSerialListSource& source)
{
    std::lock_guard<std::mutex> lock(sourceLock);
    listSource = source;
}

} // namespace qmr::wenport

WENPORT_API int _SetVidPid(uint16_t vendorId, uint16_t productId)
{
    selectedIds.store((static_cast<uint32_t>(vendorId) << 16) | productId);
    return 1;
}

WENPORT_API int _GetUsbComName(int index, char* name)
{
    if (index < 0) {
        return -1;
    }
    std::vector<UsbSerialPort> ports = SelectedPorts();
    if (static_cast<size_t>(index) >= ports.size()) {
        return -1;
    }
    const UsbSerialPort& port = ports[static_cast<size_t>(index)];
    if (name != nullptr) {
        CopyBounded(ComName(port.comNumber), name, kNameBufferSize);
    }
    return port.comNumber;
}

WENPORT_API int _GetUsbComSerial(int index, char* serial)
{
    if (index < 0 || serial == nullptr) {
        return -1;
    }
    std::vector<UsbSerialPort> ports = SelectedPorts();
    if (static_cast<size_t>(index) >= ports.size()) {
        return -1;
    }
    CopyBounded(ports[static_cast<size_t>(index)].serial, serial, kSerialBufferSize);
    return 1;
}

WENPORT_API int _GetUsbComDeviceName(uint16_t vendorId, uint16_t productId, const char* serial, char* name)
{
    if (serial == nullptr || name == nullptr) {
        return 0;
    }
    for (const UsbSerialPort& port : PortsWithIds(vendorId, productId)) {
        if (SerialMatches(port.serial, serial)) {
            CopyBounded(DisplayName(port), name, kDeviceNameBufferSize);
            return port.comNumber;
        }
    }
    return 0;
}

WENPORT_API int _GetActiveComName(int index, char* name, char* /*second*/)
{
    if (index < 0) {
        return 0;
    }
    std::vector<UsbSerialPort> ports = CurrentPorts();
    if (static_cast<size_t>(index) >= ports.size()) {
        return 0;
    }
    const UsbSerialPort& port = ports[static_cast<size_t>(index)];
    if (name != nullptr) {
        CopyBounded(ComName(port.comNumber), name, kNameBufferSize);
    }
    return port.comNumber;
}
