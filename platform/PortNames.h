#pragma once
// The rule by which a COM port number names a device node on this system.

#include <string>

namespace qmr::platform {

// Highest COM number that the fixed device ranges cover (COM1..COM96).
constexpr int kLastRangeComNumber = 96;

// The device node of COM port number `comNumber` (from 1):
//  1. "ports/COM<n>" in the current working directory when it exists (a link to the node);
//  2. else COM1..COM32 are /dev/ttyACM0..31, COM33..64 /dev/ttyUSB0..31, COM65..96
//     /dev/ttyS0..31.
// Empty when the number names no device.
std::string DevicePathForCom(int comNumber);

// True while the device node that DevicePathForCom names exists (a ports/ link is followed):
// an unplugged USB port or a pseudo-terminal whose other side has gone loses its node.
bool ComDeviceExists(int comNumber);

// The COM number that the fixed ranges give a kernel device name such as "ttyACM0" or
// "/dev/ttyUSB3"; 0 when the name lies outside the ranges.
int ComNumberForDeviceName(const std::string& deviceName);

// The "ports/" folder of the working directory and a port's link within it.
std::string PortsFolder();
std::string PortLinkPath(int comNumber);

} // namespace qmr::platform
