#include "app/core/Kmodule.h"

#include "app/core/Formapp.h"

#include <atomic>

namespace {

std::atomic<ModuleDetachHook> gDetachHook{nullptr};

} // namespace

KModule::~KModule()
{
    DetachFromDevice();
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
