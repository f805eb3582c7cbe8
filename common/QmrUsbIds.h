#pragma once
// The instrument's USB identity: its vendor id and its two product ids (the second is chosen
// by the "/V1" command-line switch). Every part of the system takes them from here.

#include <cstdint>

namespace qmr {

constexpr uint16_t kQmrUsbVendorId = 0x2F5A;
constexpr uint16_t kQmrUsbProductId = 0x3400;
constexpr uint16_t kQmrUsbProductIdAlt = 0x3401;

} // namespace qmr
