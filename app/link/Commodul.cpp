#include "app/link/Commodul.h"

#include "app/core/Applog.h"
#include "app/core/Formmesg.h"
#include "app/core/Kmodule.h"
#include "app/link/Comapl.h"
#include "app/link/Comdev.h"
#include "app/link/Comthread.h"
#include "app/link/Kfrmset.h"
#include "app/link/Thripchk.h"
#include "bramble/Bramble.h"

#include <QString>

#include <cstring>
#include <string>

namespace {

std::atomic<KComDevice*> gRecvDevice{nullptr};
std::atomic<KModule*> gRecvModule{nullptr};
std::mutex gDeliveryLock;

// A text field of the settings block as a string: up to its first zero byte, never past the
// field (a block read from a file may fill a field without one).
template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// The terminator a link is opened with: an empty one would give a link that never sees the
// end of a reply, so it becomes a line feed; the stored block keeps what it holds.
std::string LinkTerminator(const ComSettings& settings)
{
    std::string term = FieldText(settings.Terminator);
    return term.empty() ? std::string("\n") : term;
}

} // namespace

void KComModule::SetRecvDevice(KComDevice* device)
{
    std::lock_guard<std::mutex> lock(gDeliveryLock);
    gRecvDevice.store(device);
}

KComDevice* KComModule::RecvDevice()
{
    return gRecvDevice.load();
}

void KComModule::SetRecvModule(KModule* module)
{
    std::lock_guard<std::mutex> lock(gDeliveryLock);
    gRecvModule.store(module);
}

KModule* KComModule::RecvModule()
{
    return gRecvModule.load();
}

std::mutex& KComModule::DeliveryLock()
{
    return gDeliveryLock;
}

void KComModule::ClearRecvModuleLocked(KModule* module)
{
    KModule* expected = module;
    gRecvModule.compare_exchange_strong(expected, nullptr);
}

bool KComModule::Open(ComSettings& settings, bool forceUsb)
{
    if (forceUsb) {
        settings.Interface = kInterfaceUsb;
    }
    if (settings.Interface == kInterfaceUsb) {
        if (!OpenRs232c(settings)) {
            ShowErrorMsg(QStringLiteral("Could not find the following port no."), QString::number(settings.ComPort));
            return false;
        }
        return true;
    }
    const std::string address = FieldText(settings.IpAddress);
    bool opened = false;
    if (CheckIpDevice(QString::fromLatin1(address.c_str()), false) == kIpCheckFound) {
        opened = OpenLan(settings);
    } else {
        ShowErrorMsg(QStringLiteral("Could not find the following IP device."), QString::fromLatin1(address.c_str()));
    }
    ApplyTerminatorRule(settings);
    return opened;
}

bool KComModule::OpenRs232c(const ComSettings& settings)
{
    if (IsOpen()) {
        return false;
    }
    ApplyTerminatorRule(settings);
    const std::string term = LinkTerminator(settings);
    // A number no port can have opens nothing, as a port that is not there.
    ComThread* link = IsComPortNumber(settings.ComPort)
                          ? MakeCom232(settings.ComPort - 1, kBaudRate, term.c_str(), RecvCallbackD)
                          : nullptr;
    SetLink(link);
    LogLine(link != nullptr ? "Open RS232C OK" : "Open RS232C Error", "");
    return link != nullptr;
}

bool KComModule::OpenLan(const ComSettings& settings)
{
    if (IsOpen()) {
        return false;
    }
    const std::string address = FieldText(settings.IpAddress);
    const std::string term = LinkTerminator(settings);
    ComThread* link = nullptr;
    // A port number that does not fit a TCP port would silently name another port.
    if (settings.TcpPort >= 0 && settings.TcpPort <= 65535) {
        link = MakeComTcpip(address.c_str(), static_cast<uint16_t>(settings.TcpPort), term.c_str(), RecvCallbackD);
    }
    SetLink(link);
    LogLine(link != nullptr ? "OPEN LAN OK" : "OPEN LAN ERROR", address);
    ApplyTerminatorRule(settings);
    return link != nullptr;
}

void KComModule::SetLink(ComThread* link)
{
    if (link != nullptr) {
        linksOpened_.fetch_add(1);
    }
    link_.store(link);
}

void KComModule::ApplyTerminatorRule(const ComSettings& settings)
{
    const std::string term = FieldText(settings.Terminator);
    if (term.empty() || term.size() > 2) {
        std::strcpy(sendTerminator_, "\n");
    } else {
        std::memcpy(sendTerminator_, term.data(), term.size());
        sendTerminator_[term.size()] = '\0';
    }
}

bool KComModule::Close()
{
    ComThread* link = link_.load();
    if (link == nullptr) {
        return true;
    }
    const bool ok = CloseComThread(link);
    link_.store(nullptr);
    LogLine("ComClose", ok ? "OK" : "ERROR TimeOver!");
    return ok;
}

bool KComModule::EditSettings(ComSettings& settings)
{
    return ShowComSetDialog(&settings);
}

int KComModule::Send(const char* text)
{
    LogLine("ComSend", text != nullptr ? text : "");
    return SendLine(text != nullptr ? text : "");
}

int KComModule::SendLine(const char* text)
{
    ComThread* link = link_.load();
    if (link == nullptr || link->State() != 1) {
        return 0;
    }
    std::string line = text;
    line += sendTerminator_;
    const int result = link->Write(line.c_str());
    // Logged after the write: the log turns the line feed into a blank in place.
    std::string tag = result == 1 ? "SEND" : "SEND ERROR";
    _WriteLog(tag.data(), line.data());
    return result;
}

void RecvCallbackD(char* data, int* count)
{
    // Logged first and in place: what the parsers see has blanks where line feeds were.
    if (data == nullptr || count == nullptr) {
        return;
    }
    std::string tag = "RecvCallbackD";
    _WriteLog(tag.data(), data);
    std::lock_guard<std::mutex> lock(gDeliveryLock);
    if (KComDevice* device = gRecvDevice.load()) {
        device->OnReceive(data, count);
    }
    if (KModule* module = gRecvModule.load()) {
        module->ReceiveData(data, count);
    }
}
