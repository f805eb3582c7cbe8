#include "app/instrument/Kmdlcnf.h"

#include "app/core/Applog.h"
#include "app/core/Formapp.h"
#include "app/core/Formmesg.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kqmrview.h"
#include "app/instrument/Scpinum.h"
#include "bramble/Bramble.h"

#include <QMessageBox>

#include <cstring>

namespace {

const char* const kReadCommands[KModuleQmrConfig::kReadSteps] = {
    ":DISP:BRIG?", ":DISP:AUTO?", ":SYST:BEEP:STAT?", ":SYST:COMM:SOCK:ADDR?", ":SYST:COMM:SOCK:ADDR:AUTO?",
};

const char* const kItemNames[KModuleQmrConfig::kWriteSteps] = {
    "brightness level ",
    "backlight auto off ",
    "touch sound ",
    "IP address ",
};

// The edit's whole text as an integer, or `fallback` when it is none; kept as its low byte.
uint8_t LowByteOf(const QString& text, int fallback)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return static_cast<uint8_t>(static_cast<unsigned int>(ok ? value : fallback) & 0xFFu);
}

} // namespace

KModuleQmrConfig::KModuleQmrConfig() : KModuleQmr(kKindConfig)
{
}

KModuleQmrConfig::~KModuleQmrConfig()
{
    // No reply may reach the listener once its own part is going.
    DetachFromDevice();
}

void KModuleQmrConfig::SetForm(TFormApp* form)
{
    KModuleQmr::SetForm(form);
    configView_ = dynamic_cast<KQmrConfigView*>(form);
}

void KModuleQmrConfig::ReceiveData(char* text, int* /*count*/)
{
    // The device has just seen this reply: one that came while a command state was pending
    // answers the step engine's command (or is the poll's), and one that it set aside answers
    // a window that has gone; neither is a settings step's.
    if (deviceQmr_ != nullptr && deviceQmr_->LastReplyClaimed()) {
        return;
    }
    if (configView_ != nullptr) {
        configView_->PostListenedReply(text != nullptr ? std::string(text) : std::string());
    }
}

bool KModuleQmrConfig::ToRemote()
{
    const Running running(this);
    LogLine("KModuleQmrConfig", "ToRemote");
    return StartConnect(&KComDeviceQmr::QueryIdn, false);
}

void KModuleQmrConfig::ResetSequences()
{
    // A sequence that cannot go on must neither keep the module busy nor take the next,
    // unrelated reply as its own.
    if (IsSequenceRunning()) {
        readStep_ = -1;
        writeStep_ = -1;
        busy_.store(false);
    }
}

void KModuleQmrConfig::Listen()
{
    if (KComDevice* device = GetComDevice()) {
        device->AttachModule(this);
    }
}

bool KModuleQmrConfig::SendStep(const std::string& command)
{
    return deviceQmr_ != nullptr && deviceQmr_->SendListened(command.c_str());
}

bool KModuleQmrConfig::CanStartSequence()
{
    return !IsSequenceRunning() && !IsBusy();
}

bool KModuleQmrConfig::StartRead()
{
    if (!CanStartSequence()) {
        return false;
    }
    const Running running(this);
    busy_.store(true);
    readStep_ = 0;
    return ReadStep();
}

bool KModuleQmrConfig::StartWrite()
{
    if (!CanStartSequence()) {
        return false;
    }
    const Running running(this);
    busy_.store(true);
    FromForm();
    writeStep_ = 0;
    return WriteStep();
}

void KModuleQmrConfig::FromForm()
{
    if (configView_ == nullptr) {
        return;
    }
    settings_.brightness = LowByteOf(configView_->EditText(KConfigEdit::Brightness), kDefaultBrightness);
    settings_.autoOff = LowByteOf(configView_->EditText(KConfigEdit::AutoOff), kDefaultAutoOff);
    settings_.touchSound = configView_->IsChecked(KConfigCheck::Sound) ? 1 : 0;
    const QByteArray ip = configView_->EditText(KConfigEdit::Ip).toLatin1();
    if (!ip.isEmpty() && ip.size() < static_cast<qsizetype>(sizeof settings_.ipAddress)) {
        std::memset(settings_.ipAddress, 0, sizeof settings_.ipAddress);
        std::memcpy(settings_.ipAddress, ip.constData(), static_cast<size_t>(ip.size()));
    }
    settings_.autoIp = configView_->IsChecked(KConfigCheck::Dhcp) ? 1 : 0;
}

bool KModuleQmrConfig::ReadStep()
{
    if (readStep_ >= kReadSteps) {
        busy_.store(false);
        if (view_ != nullptr) {
            view_->SetMessage(QStringLiteral("Read all settings is completed."));
        }
        readStep_ = -1;
        FromForm();
        RefreshForm();
        return false;
    }
    if (readStep_ == 0) {
        Listen();
    }
    if (SendStep(kReadCommands[readStep_])) {
        return true;
    }
    ResetSequences();
    ShowErrorMsg(QStringLiteral("Get settings from QMR3400."), QString(), 0);
    return false;
}

void KModuleQmrConfig::OnReadReply(const std::string& text)
{
    if (configView_ == nullptr || readStep_ < 0 || readStep_ >= kReadSteps) {
        return;
    }
    configView_->SetEditText(KConfigEdit::No, QString::number(readStep_));
    const long value = scpinum::ParseLeadingInt(text.c_str());
    const bool on = text == "ON";
    switch (readStep_) {
    case 0:
        if (value != kNoValue) {
            configView_->SetEditText(KConfigEdit::Brightness, QString::number(value));
        }
        break;
    case 1:
        if (value != kNoValue) {
            configView_->SetEditText(KConfigEdit::AutoOff, QString::number(value));
        }
        break;
    case 2:
        configView_->SetChecked(KConfigCheck::Sound, on);
        break;
    case 3:
        configView_->SetEditText(KConfigEdit::Ip, QString::fromLatin1(text.c_str()));
        break;
    default:
        configView_->SetIpEditable(!on);
        configView_->SetChecked(KConfigCheck::Dhcp, on);
        break;
    }
    ++readStep_;
    ReadStep();
}

std::string KModuleQmrConfig::WriteCommand(int step) const
{
    switch (step) {
    case 0:
        return ":DISP:BRIG " + std::to_string(settings_.brightness) + ";*OPC?";
    case 1:
        return ":DISP:AUTO " + std::to_string(settings_.autoOff) + ";*OPC?";
    case 2:
        return std::string(":SYST:BEEP:STAT ") + (settings_.touchSound == 1 ? "1;*OPC?" : "0;*OPC?");
    case 3: {
        const std::string address(settings_.ipAddress, strnlen(settings_.ipAddress, sizeof settings_.ipAddress));
        return ":SYST:COMM:SOCK:ADDR " + (settings_.autoIp == 1 ? std::string("AUTO") : address) + ";*OPC?";
    }
    default:
        return std::string();
    }
}

bool KModuleQmrConfig::WriteStep()
{
    if (writeStep_ >= kWriteSteps) {
        if (view_ != nullptr) {
            view_->SetMessage(QStringLiteral("Writing is completed"));
        }
        writeStep_ = -1;
        busy_.store(false);
        RefreshForm();
        return false;
    }
    if (writeStep_ == 0) {
        Listen();
    }
    if (SendStep(WriteCommand(writeStep_))) {
        return true;
    }
    ResetSequences();
    ShowErrorMsg(QStringLiteral("Could not send command to QMR."), QString(), 0);
    return false;
}

void KModuleQmrConfig::OnWriteReply(const std::string& text)
{
    if (writeStep_ < 0 || writeStep_ >= kWriteSteps) {
        return;
    }
    if (configView_ != nullptr) {
        configView_->SetEditText(KConfigEdit::No, QString::number(writeStep_));
    }
    if (text == "1") {
        if (view_ != nullptr) {
            view_->SetMessage(QStringLiteral("OK: ") + QLatin1String(kItemNames[writeStep_]));
        }
        ++writeStep_;
        WriteStep();
        return;
    }
    const QString message = QStringLiteral(" Irregular response from QMR3400. (") + QString::number(writeStep_) +
                            QLatin1Char(':') + QString::fromLatin1(text.c_str()) + QStringLiteral(") ");
    // The write ends before the box is shown, so that nothing stays busy behind it.
    ResetSequences();
    QMessageBox::information(GetForm(), GetForm() != nullptr ? GetForm()->windowTitle() : QString(), message);
}

void KModuleQmrConfig::TakeListenedReply(const std::string& reply)
{
    const Running running(this);
    if (configView_ != nullptr) {
        configView_->StopReplyTimer();
    }
    if (writeStep_ >= 0) {
        OnWriteReply(reply);
    }
    if (readStep_ >= 0) {
        OnReadReply(reply);
    }
}
