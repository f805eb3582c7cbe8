#include "app/core/Kmodule.h"

#include "app/core/Formapp.h"

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
    if (device_ != nullptr) {
        KComDeviceDetach(device_, this);
    }
}

// Stands in while no device unit is linked: without a device there is nothing to leave. The
// device's unit defines the real one, which the linker takes instead.
__attribute__((weak)) void KComDeviceDetach(KComDevice* /*device*/, KModule* /*module*/)
{
}
