// The command module's event road: on the communication thread each reply becomes an event
// number for the window; on the GUI thread the step engine takes each event of the running
// function, updates the window, sends the function's next command or ends it.
#include "app/core/Applog.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/instrument/Kqmrview.h"
#include "app/instrument/Scpinum.h"
#include "bramble/Bramble.h"

#include <string>

namespace {

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

const char* const kErrorStartingRemote = "An error occurred when starting remote mode.";
const char* const kDrainEndless = "-200, \"Execution error\"";

// Replies are at most 80 bytes; the module keeps up to 102 of them.
constexpr std::size_t kReplyRoom = 102;

uint8_t LowByte(const std::string& text)
{
    return static_cast<uint8_t>(static_cast<unsigned int>(scpinum::ParseLeadingInt(text.c_str())) & 0xFFu);
}

const char* const kRangeNoSemicolon = "-200, \"Execution error 1\"";
const char* const kRangeNoComma = "-200, \"Execution error 2\"";
const char* const kEseRefused = "-200, \"Execution error 3\"";

} // namespace

// ---- reply to event (communication thread) ----

void KModuleQmr::OnReceive(int state, int /*count*/, const char* text)
{
    std::string reply = text != nullptr ? text : "";
    if (reply.size() > kReplyRoom) {
        reply.resize(kReplyRoom);
    }
    // The window work of the reply is queued first, so it runs before the reply's event.
    if (view_ != nullptr) {
        view_->PostReply(reply);
    }
    const char* label = CommandStateName(state);
    if (label[0] == '\0') {
        return;
    }
    LogLine(label, reply);

    const bool inConnect = functionState_.load() == fnTOREMOTE;
    int event = 0;
    switch (state) {
    case csGETSTR:
        event = 22;
        break;
    case csKLOC:
        if (deviceQmr_ != nullptr) {
            deviceQmr_->SetKeyLockFlag(reply == "ON");
        }
        event = 20;
        break;
    case csMODEQ:
        if (reply == "I") {
            event = kind_ == kKindPP ? 1 : 3;
        } else if (reply == "P") {
            event = kind_ == kKindIL ? 2 : 4;
        } else {
            LogLine("csMODEQ:ret=", reply);
            // The connect sequence cannot go on with an instrument in neither mode.
            event = inConnect ? kEventRefused : 0;
        }
        break;
    case csIDNQ:
        event = 5;
        break;
    case csPPQ:
        event = 6;
        break;
    case csILQ:
        event = 7;
        break;
    case csERRQ:
        errors_->Add(reply.c_str());
        event = 8;
        break;
    case csKLOCQ:
        event = 9;
        break;
    case csREM:
        errors_->Add(reply.c_str());
        event = errors_->HasFatal() ? 21 : 10;
        break;
    case csLOCL:
        event = 11;
        break;
    case csMODEIL:
        event = reply == "1" ? 12 : kEventRefused;
        break;
    case csMODEPP:
        event = reply == "1" ? 13 : kEventRefused;
        break;
    case csDBRANGE:
        if (errors_->Add(reply.c_str())) {
            event = 18;
        } else if (reply.find(';') == std::string::npos) {
            errors_->Add(kRangeNoSemicolon);
            event = 18;
        } else {
            const int min = KComDeviceQmr::ParseInt(reply.c_str());
            const std::size_t comma = reply.find(',');
            if (comma == std::string::npos) {
                errors_->Add(kRangeNoComma);
                event = 18;
            } else {
                const int max = KComDeviceQmr::ParseInt(reply.c_str() + comma + 1);
                if (deviceQmr_ != nullptr) {
                    deviceQmr_->SetRange(max, min);
                }
                event = 15;
            }
        }
        break;
    case csSETESE:
        if (reply == "1") {
            event = 26;
        } else {
            errors_->Add(kEseRefused);
            event = kEventRefused;
        }
        break;
    case csSETPP:
        event = errors_->Add(reply.c_str()) ? 18 : 16;
        break;
    case csSETDB:
        event = errors_->Add(reply.c_str()) ? 18 : 17;
        break;
    case csREADERR:
        errors_->Add(reply.c_str());
        event = 23;
        break;
    case csREADSTB:
        statusByte_.store(LowByte(reply));
        event = 24;
        break;
    case csREADESR:
        eventStatus_.store(LowByte(reply));
        event = 25;
        break;
    default:
        break;
    }
    if (event != 0) {
        Post(event);
    }
}

// ---- step engine (GUI thread) ----

void KModuleQmr::StepFunction(int event)
{
    const Running running(this);
    switch (functionState_.load()) {
    case fnTOREMOTE:
        StepToRemote(event);
        break;
    case fnTOLOCAL:
        StepToLocal(event);
        break;
    case fnMODECHG:
        StepModeChange(event);
        break;
    case fnDBRANGE:
        StepRange(event);
        break;
    case fnPOSITION:
        StepPosition(event);
        break;
    case fnKLOC:
        if (event == 20) {
            SetKeyLockState(deviceQmr_ != nullptr && deviceQmr_->GetKeyLockFlag());
            End();
        }
        break;
    case fnREADSTB:
        StepReadStatus(event);
        break;
    default:
        break;
    }
}

void KModuleQmr::StepToRemote(int event)
{
    KComDeviceQmr* device = deviceQmr_;
    if (device == nullptr) {
        return;
    }
    // A command of the sequence that cannot go out ends it as an error.
    auto next = [this](bool sent) {
        if (!sent) {
            ErrorExit();
        }
    };
    switch (event) {
    case 3:
    case 4:
        next(device->QueryIdn());
        break;
    case 5:
        StepSerial(device);
        break;
    case 6:
        ShowLevel(device->GetLevel());
        drainCount_ = 0;
        next(device->QueryError());
        break;
    case 7:
        ShowIL(device->GetLoss());
        ShowFrequency(device->GetFrequency());
        drainCount_ = 0;
        next(device->QueryError());
        break;
    case 8:
        if (Contains(device->GetLastErrorText(), "NO ERROR")) {
            next(device->QueryKeyLock());
        } else if (++drainCount_ >= kMaxDrainReplies) {
            // An instrument that never reports an empty queue.
            errors_->Add(kDrainEndless);
            errors_->ShowWarnings();
            ErrorExit();
        } else {
            next(device->QueryError());
            if (errors_->HasFatal()) {
                FatalExit();
            }
        }
        break;
    case 9:
        SetKeyLockState(device->GetReportedKeyLock());
        next(device->SetEventStatusEnable(KComDeviceQmr::kEventStatusMask));
        break;
    case 26:
        SetKeyLockState(device->GetReportedKeyLock());
        next(device->SendRemote());
        break;
    case 10:
        device->SetRemote();
        SetRemoteState(true);
        if (view_ != nullptr) {
            view_->ShowRemote(true);
        }
        LogLine("fnTOREMOTE", "END");
        End();
        if (errors_->ShowWarnings() > 0) {
            ErrorExit();
            return;
        }
        if (view_ != nullptr) {
            view_->SetErrorTimer(true);
        }
        OnRemoteReached();
        break;
    case 21:
        SetErrorLamp(true);
        errors_->ShowFatal();
        ErrorExit();
        break;
    case kEventRefused:
        errors_->ShowWarnings();
        ErrorExit();
        break;
    default:
        break;
    }
}

void KModuleQmr::StepSerial(KComDeviceQmr* device)
{
    if (view_ != nullptr) {
        view_->SetSerial(QString::fromLatin1(device->GetSerial().c_str()));
    }
    bool sent = true;
    switch (kind_) {
    case kKindIL:
        sent = device->QueryIL();
        break;
    case kKindPP:
        sent = device->QueryLevel();
        break;
    case kKindConfig:
        drainCount_ = 0;
        sent = device->QueryError();
        break;
    default:
        // The manual window only reads the identity.
        End();
        SetRemoteState(true);
        return;
    }
    if (!sent) {
        ErrorExit();
    }
}

void KModuleQmr::OnRemoteReached()
{
    switch (kind_) {
    case kKindIL:
        QmrPause(kRemotePauseMs);
        functionState_.store(fnDBRANGE);
        if (deviceQmr_ == nullptr || !deviceQmr_->QueryRange()) {
            End();
        }
        break;
    case kKindPP:
        if (view_ != nullptr) {
            view_->EnableSlider(true);
        }
        busy_.store(false);
        break;
    case kKindConfig:
        QmrPause(kRemotePauseMs);
        if (view_ != nullptr) {
            view_->ReadSettings();
        }
        break;
    default:
        break;
    }
}

void KModuleQmr::ErrorExit()
{
    SetRemoteState(false);
    LogLine("fnTOREMOTE", "ERROR");
    if (view_ != nullptr) {
        view_->SetMessage(QString::fromLatin1(kErrorStartingRemote));
    }
    End();
    ClosePort();
    ForceLocal();
}

void KModuleQmr::FatalExit()
{
    SetErrorLamp(true);
    errors_->ShowFatal();
    ForceLocal();
}

void KModuleQmr::StepToLocal(int event)
{
    if (event != 11) {
        return;
    }
    LogLine("fnTOLOCAL", "END");
    EndLocal(true);
}

void KModuleQmr::StepModeChange(int event)
{
    if (event == 12 || event == 13) {
        LogLine(event == 12 ? "fnMODECHGIL" : "fnMODECHGPP", "END");
        if (localAsked_) {
            End();
        } else {
            ToRemote();
        }
    } else if (event == kEventRefused) {
        // The instrument stays in its mode: so does the window.
        if (view_ != nullptr) {
            view_->ModeChangeRefused();
        }
        End();
    }
}

void KModuleQmr::StepRange(int event)
{
    if (event == 15) {
        int16_t max = 0;
        int16_t min = 0;
        if (deviceQmr_ != nullptr) {
            deviceQmr_->GetRange(max, min);
        }
        if (view_ != nullptr) {
            view_->SetRange(max, min);
        }
        LogLine("fnDBRANGE", "END");
        if (errors_->HasFatal()) {
            FatalExit();
            busy_.store(false);
            return;
        }
        errors_->ShowWarnings();
        // The editing ends here also when the operator began it during the connect: the
        // Frequency SET button comes up with it, so that the button and the sliders agree.
        if (view_ != nullptr) {
            view_->ReleaseFrequencySet();
            view_->SetFrequencyEditing(false);
        }
        End();
    } else if (event == 18) {
        if (!errors_->ShowFatal()) {
            errors_->ShowWarnings();
            LogLine("dlMOVEERR", "ERROR");
        }
        // Ended in both cases: a shown fatal error must not leave the module busy.
        End();
    }
}

void KModuleQmr::StepPosition(int event)
{
    if (event == 15) {
        int16_t max = 0;
        int16_t min = 0;
        int16_t loss = 0;
        if (deviceQmr_ != nullptr) {
            deviceQmr_->GetRange(max, min);
            loss = deviceQmr_->GetLoss();
        }
        if (view_ != nullptr) {
            view_->SetRange(max, min);
        }
        int16_t v = loss;
        if (v < min) {
            v = min;
        }
        if (v > max) {
            v = max;
        }
        if (view_ != nullptr) {
            view_->ShowValue(v);
        }
        QmrPause(kLossResendPauseMs);
        if (!SetIL(v, false)) {
            // The instrument kept the loss it had: the window shows that one again, so that the
            // slider compares the next gesture with what the instrument holds.
            if (view_ != nullptr && deviceQmr_ != nullptr) {
                view_->ShowValue(deviceQmr_->GetLoss());
            }
            End();
        }
    } else if (event == 18) {
        if (errors_->HasFatal()) {
            FatalExit();
            busy_.store(false);
            return;
        }
        errors_->ShowWarnings();
        LogLine("dlMOVEERR", "ERROR");
        End();
    }
}

void KModuleQmr::StepReadStatus(int event)
{
    KComDeviceQmr* device = deviceQmr_;
    if (device == nullptr) {
        End();
        return;
    }
    const uint8_t stb = statusByte_.load();
    auto drained = [&] {
        if (errors_->HasFatal()) {
            FatalExit();
            End();
            return;
        }
        errors_->ShowWarnings();
        // Asked after the box: a window closed meanwhile has taken the device from the module.
        if ((stb & 0x40) == 0 || deviceQmr_ == nullptr || !deviceQmr_->ReadEventStatus()) {
            End();
        }
    };
    switch (event) {
    case 24:
        if ((stb & 0x04) != 0) {
            drainCount_ = 0;
            if (!device->ReadError()) {
                End();
            }
        } else if ((stb & 0x20) != 0) {
            if (!device->ReadEventStatus()) {
                End();
            }
        } else {
            device->ClearCommandState(csREADSTB);
            End();
        }
        break;
    case 23:
        if (!Contains(lastReply_, "NO ERROR")) {
            if (++drainCount_ >= kMaxDrainReplies) {
                errors_->Add(kDrainEndless);
                drained();
            } else if (!device->ReadError()) {
                End();
            }
        } else {
            drained();
        }
        break;
    case 25:
        // Ended first: ToLocal starts its own function (or has nothing to do).
        End();
        if ((eventStatus_.load() & 0x40) != 0) {
            ToLocal();
        }
        break;
    default:
        break;
    }
}
