#pragma once
// The manual window's command module: the plain command module of kind 3, whose connect
// sequence ends after the identity has been read ("*IDN?") and never takes the instrument
// into remote mode.

#include "app/instrument/Kmdlqmr.h"

class KModuleQmrManual : public KModuleQmr {
public:
    KModuleQmrManual() : KModuleQmr(kKindManual) {}
    ~KModuleQmrManual() override;
};
