#pragma once
// Inside the library only: where the exported functions look for ports. The machine's own
// devices and the working directory's "ports/" folder unless changed (a test points it at a
// sysfs tree of its own).

#include "platform/UsbSerialList.h"

namespace qmr::wenport {

void SetListSource(const platform::UsbSerialListSource& source);

} // namespace qmr::wenport
