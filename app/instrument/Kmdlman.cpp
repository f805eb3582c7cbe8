#include "app/instrument/Kmdlman.h"

KModuleQmrManual::~KModuleQmrManual()
{
    DetachFromDevice();
}
