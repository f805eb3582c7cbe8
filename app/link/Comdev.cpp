#include "app/link/Comdev.h"

#include "app/core/Kmodule.h"
#include "app/link/Commodul.h"

#include <cstring>

KComDevice::KComDevice(KComModule* comModule) : comModule_(comModule)
{
    // From here on a module may know a device, so it must be able to leave it.
    SetModuleDetachHook(&KComDeviceDetach);
}

KComDevice::~KComDevice() = default;

void KComDevice::OnReceive(char* /*text*/, int* /*count*/)
{
}

void KComDevice::SetModule(KModule* module)
{
    std::lock_guard<std::mutex> lock(KComModule::DeliveryLock());
    module_.store(module);
}

void KComDevice::AttachModule(KModule* module)
{
    if (comModule_ != nullptr) {
        KComModule::SetRecvModule(module);
    }
}

void KComDevice::SetSetting(const ComSettings& settings)
{
    std::memcpy(&settings_, &settings, sizeof settings_);
}

bool KComDevice::Open(bool forceUsb)
{
    return comModule_ != nullptr && comModule_->Open(settings_, forceUsb);
}

bool KComDevice::Close()
{
    return comModule_ == nullptr || comModule_->Close();
}

bool KComDevice::IsOpen() const
{
    return comModule_ != nullptr && comModule_->IsOpen();
}

int KComDevice::Send(const char* text, bool noReply)
{
    // Without a current module (only before the first window is shown) the text still goes
    // out; there is just nobody to log it or to watch for its reply.
    KModule* module = module_.load();
    if (module != nullptr) {
        module->LogSend(text);
    }
    if (!IsOpen()) {
        return 0;
    }
    if (module != nullptr) {
        if (noReply) {
            module->StopReplyTimeout();
        } else {
            module->StartReplyTimeout();
        }
    }
    return comModule_->Send(text);
}

bool KComDevice::EditSettings()
{
    return comModule_ != nullptr && comModule_->EditSettings(settings_);
}

void KComDeviceDetach(KComDevice* device, KModule* module)
{
    if (device == nullptr || module == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(KComModule::DeliveryLock());
    KModule* expected = module;
    device->module_.compare_exchange_strong(expected, nullptr);
    KComModule::ClearRecvModuleLocked(module);
}
