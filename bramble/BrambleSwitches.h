#pragma once
// The two switches that live beside the port table, for the units that read them.

namespace bramble {

// The byte `_SetSioDmy` stored last (0 when the library is loaded). A new port on an empty
// slot is a dummy port exactly when it is 1.
unsigned char DummyMode();

// The byte `_EnbBeep` stored last (1 when the library is loaded). The beeps sound only while
// it is exactly 1.
unsigned char BeepEnabled();

} // namespace bramble
