#pragma once
// What the machine says about itself.

#include <string>

namespace qmr::platform {

// The processor's identifier: the environment variable PROCESSOR_IDENTIFIER when it is set
// (also when empty), else the machine name that uname() gives ("x86_64", "aarch64", "i686");
// empty when neither is known.
std::string ProcessorIdentifier();

} // namespace qmr::platform
