#include "app/core/Kmodule.h"

#include "app/core/Formapp.h"

#include <atomic>

namespace {

std::atomic<ModuleDetachHook> gDetachHook{nullptr};

} // namespace

KModule::Running::Running(KModule* module) : module_(module)
{
    ++module_->running_;
}

KModule::Running::~Running()
{
    if (--module_->running_ == 0 && module_->released_) {
        delete module_;
    }
}

KModule::~KModule()
{
    DetachFromDevice();
}

void KModule::Release(KModule* module)
{
    if (module == nullptr || module->released_) {
        return;
    }
    module->released_ = true;
    module->DetachFromDevice();
    module->SetComDevice(nullptr);
    module->SetForm(nullptr);
    if (module->running_ == 0) {
        delete module;
    }
}

void KModule::SetForm(TFormApp* form)
{
    form_ = form;
}

void KModule::ReceiveData(char* /*text*/, int* /*count*/)
{
}

void KModule::SetComDevice(KComDevice* device)
{
    device_ = device;
}

void KModule::LogSend(const char* /*text*/)
{
}

void KModule::OnReceive(int /*state*/, int /*count*/, const char* /*text*/)
{
}

void KModule::StartReplyTimeout()
{
}

void KModule::StopReplyTimeout()
{
}

void KModule::RefreshForm()
{
    if (form_ != nullptr) {
        form_->repaint();
    }
}

void KModule::DetachFromDevice()
{
    if (device_ == nullptr) {
        return;
    }
    if (ModuleDetachHook hook = gDetachHook.load()) {
        hook(device_, this);
    }
}

void SetModuleDetachHook(ModuleDetachHook hook)
{
    gDetachHook.store(hook);
}
