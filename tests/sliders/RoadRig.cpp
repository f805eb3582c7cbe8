#include "RoadRig.h"

#include "app/core/Appdefine.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/link/Commodul.h"
#include "app/program/Formstup.h"
#include "app/windows/Formapqmrcf.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrmn.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Frmsldpp.h"
#include "bramble/Bramble.h"
#include "common/QmrUsbIds.h"
#include "ui_Formapqmr.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

namespace roadtest {

using namespace std::chrono_literals;

namespace {

// The gate's clock: real time, plus the time that the roads' time steps skip.
std::atomic<int64_t> gSkipped{0};

int64_t RoadClock()
{
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return now.count() + gSkipped.load();
}

// The step engine's fixed pauses pass on that clock: the GUI thread answers nothing meanwhile,
// as it would not while it sleeps, but no real time is spent.
void RoadPause(int ms)
{
    gSkipped += ms;
}

// Loss ranges with a lower limit above 0, so that both limits narrow on a frequency change.
const std::vector<qmrsim::RangeBand> kBands{{999, 0, 700}, {2000, 30, 500}, {4000, 100, 300}};

// Two gated lines may be read this much closer than the gate, as the road reads the wire only
// every few milliseconds; a gate left open lets them come within one step of the road.
constexpr int kGateSlackMs = 100;

bool Starts(const std::string& text, const char* head)
{
    return text.rfind(head, 0) == 0;
}

// The query whose reply each command state awaits ('*' at the end: the query's beginning).
bool Answers(const std::string& state, const std::string& query)
{
    static const std::pair<const char*, const char*> kQueries[] = {
        {"csMODEQ", ":ISI:MODE?"},
        {"csIDNQ", "*IDN?"},
        {"csPPQ", ":ISI:LEVE?"},
        {"csILQ", ":ISI:IL?"},
        {"csERRQ", ":SYST:ERR?"},
        {"csREADERR", ":SYST:ERR?"},
        {"csKLOCQ", ":SYST:KLOC?"},
        {"csREM", ":SYST:REM;ERR?"},
        {"csLOCL", ":SYST:LOC;*OPC?"},
        {"csMODEIL", ":ISI:MODE I;*OPC?"},
        {"csMODEPP", ":ISI:MODE P;*OPC?"},
        {"csDBRANGE", ":ISI:RANG? *"},
        {"csSETESE", "*ESE *"},
        {"csKLOC", ":SYST:KLOC O*"},
        {"csREADSTB", "*STB?"},
        {"csREADESR", "*ESR?"},
        {"csGETSTR", kFreeText},
    };
    for (const auto& [name, text] : kQueries) {
        if (state != name) {
            continue;
        }
        const std::string want = text;
        if (want.back() == '*' ? Starts(query, want.substr(0, want.size() - 1).c_str()) : query == want) {
            return true;
        }
    }
    return false;
}

bool IsCommandState(const std::string& tag)
{
    static const char* const kStates[] = {"csGETSTR", "csKLOC",    "csMODEQ",   "csIDNQ",   "csPPQ",
                                          "csILQ",    "csERRQ",    "csKLOCQ",   "csREM",    "csLOCL",
                                          "csMODEIL", "csMODEPP",  "csDBRANGE", "csSETESE", "csSETPP",
                                          "csSETDB",  "csREADERR", "csREADSTB", "csREADESR"};
    return std::any_of(std::begin(kStates), std::end(kStates), [&](const char* s) { return tag == s; });
}

bool Lit(QLabel* lamp)
{
    return lamp->palette().color(QPalette::Window) == QColor(0xFF, 0xFF, 0x00);
}

} // namespace

void SkipTime(int ms)
{
    gSkipped += ms;
}

Road::Road(const RoadStart& start) : start_(start)
{
    SetQmrClockForTest(&RoadClock);
    SetQmrPauseForTest(&RoadPause);
    instrument_.SetRangeTable(kBands);
    instrument_.SetMode(start.db ? 'I' : 'P');
    instrument_.SetFrequency(start.frequency);
    instrument_.SetLoss(start.db ? start.value : 0);
    instrument_.SetLevel(start.db ? 0 : start.value);
    instrument_.RangeFor(start.frequency, acceptedRange_.first, acceptedRange_.second);

    // The address check answers at once: the instrument is this machine.
    qmrtest::WriteFile("chkip.bat",
                       "#!/bin/sh\nprintf 'Reply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" > chkip.res\n");
    std::filesystem::permissions("chkip.bat", std::filesystem::perms::owner_all);
    AppSetRecord record{};
    record.Com.Interface = start.usb ? kInterfaceUsb : kInterfaceLan;
    record.Com.ComPort = 1;
    std::strcpy(record.Com.IpAddress, "127.0.0.1");
    record.Com.TcpPort = tcp_.Port();
    std::strcpy(record.Com.Terminator, "\n");
    qmrtest::WriteFile("APPSET.DAT", std::string(reinterpret_cast<const char*>(&record), sizeof record));
    if (start.usb) {
        PublishPty();
    }

    _StartLog(0, 0);
    startUp_ = std::make_unique<TFormStartUp>();
    startUp_->StartUp();
    exposed_ = Window() != nullptr && QTest::qWaitForWindowExposed(Window());
    NoteLink();
    if (!start.db) {
        Press("ButtonMode", false); // unconnected: the percent window instead
        exposed_ = exposed_ && WindowNumber() == 1 && QTest::qWaitForWindowExposed(Window());
    }

    QObject::connect(&serve_, &QTimer::timeout, [this] { Serve(); });
    serve_.start(2);
    QObject::connect(&answer_, &QTimer::timeout, [this] { AnswerBoxes(); });
    answer_.start(10);
}

Road::~Road()
{
    serve_.stop();
    answer_.stop();
    // The shut-down writes the settings and positions back and closes the log.
    startUp_->FormDestroy();
    startUp_.reset();
    SetQmrPauseForTest(nullptr);
    SetQmrClockForTest(nullptr);
}

// ---- the program as the road sees it ----

TFormAppQmr* Road::Window() const
{
    TFormAppQmr* window = startUp_ ? startUp_->CurrentWindow() : nullptr;
    return window != nullptr && window->Module() != nullptr ? window : nullptr;
}

int Road::WindowNumber() const
{
    TFormAppQmr* window = Window();
    if (dynamic_cast<TFormAppQmrIL*>(window) != nullptr) {
        return 0;
    }
    if (dynamic_cast<TFormAppQmrPp*>(window) != nullptr) {
        return 1;
    }
    if (dynamic_cast<TFormAppQmrConfig*>(window) != nullptr) {
        return 2;
    }
    return window != nullptr ? 3 : -1;
}

KModuleQmr* Road::Module() const
{
    return Window() != nullptr ? Window()->Module() : nullptr;
}

TFrameSlider* Road::Frame(bool frequency) const
{
    if (auto* db = dynamic_cast<TFormAppQmrIL*>(Window())) {
        return frequency ? static_cast<TFrameSlider*>(db->FrameSliderFrq) : db->FrameSliderIL;
    }
    if (auto* percent = dynamic_cast<TFormAppQmrPp*>(Window()); percent != nullptr && !frequency) {
        return percent->FrameSliderPp;
    }
    return nullptr;
}

QToolButton* Road::FrequencySet() const
{
    auto* db = dynamic_cast<TFormAppQmrIL*>(Window());
    return db != nullptr ? db->SpeedButtonSet : nullptr;
}

bool Road::LinkOpen()
{
    return startUp_ && startUp_->Device() != nullptr && startUp_->Device()->IsOpen();
}

std::string Road::Connect(bool press)
{
    if (!exposed_) {
        return "the window was never shown";
    }
    if (press) {
        Press("ButtonConnect", true);
    } else {
        Reconnect();
    }
    if (!QTest::qWaitFor([&] { return LinkOpen(); }, 5000)) {
        return "the link did not open";
    }
    if (!QTest::qWaitFor(
            [&] { return Module() != nullptr && Module()->IsRemote() && Module()->GetFunctionState() == fnIDLE; },
            10000)) {
        std::ostringstream why;
        why << "the window was not in remote 10 s after the connect (remote " << (Module() && Module()->IsRemote())
            << ", step " << (Module() ? Module()->GetFunctionState() : -1) << ", command state "
            << startUp_->Device()->GetCommandState() << ", busy " << (Module() && Module()->IsBusy()) << ")";
        return why.str();
    }
    return {};
}

// ---- the operator ----

bool Road::Press(const char* button, bool asksConnect)
{
    TFormAppQmr* window = Window();
    auto* b = window != nullptr ? window->findChild<QPushButton*>(QLatin1String(button)) : nullptr;
    if (b == nullptr || !b->isEnabled() || !b->isVisible()) {
        return false;
    }
    // A switch asks the next window to connect only over an open link.
    if (asksConnect && (LinkOpen() || std::strcmp(button, "ButtonConnect") == 0)) {
        Ask();
    }
    b->click();
    return true;
}

void Road::PressModeTwice()
{
    TFormAppQmr* window = Window();
    if (Press("ButtonMode", true)) {
        QTimer::singleShot(40, window, [window] {
            if (window->Module() != nullptr) {
                window->ActionDBExecute();
            }
        });
    }
}

void Road::Manual()
{
    if (TFormAppQmr* window = Window()) {
        if (LinkOpen()) {
            Ask();
        }
        window->ButtonManualClick();
    }
}

void Road::LetGo(int heldMs)
{
    TFrameSlider* frame = Frame(false);
    if (frame == nullptr) {
        return;
    }
    if (heldMs > 0) {
        // The program goes on while the button is held: what has arrived is handled first, and
        // the time passes after it.
        Pump(std::chrono::milliseconds(kRetryPumpMs));
        SkipTime(heldMs);
        Pump(std::chrono::milliseconds(kRetryPumpMs));
    }
    QSlider* track = frame->TrackBar;
    Gesture(Db() ? kLoss : kLevel, [&] { QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, mouse); });
}

void Road::Poll()
{
    // As the status watch polls: only while neither the module nor the device is busy.
    if (Module() != nullptr && LinkOpen() && !Module()->IsBusy()) {
        Module()->ReadStatusByte();
    }
}

void Road::LoseLink(bool fin)
{
    // The drop ends the press's connect once the program has seen it: its close of the link
    // is in the log. What the instrument had still to answer is lost with the link.
    replies_.clear();
    if (start_.usb) {
        // The instrument unplugged and plugged in again: a new pseudo-terminal under the name.
        pty_->HangUp();
        PublishPty();
    } else if (fin) {
        tcp_.Close();
    } else {
        tcp_.Reset();
    }
}

void Road::Reconnect()
{
    // The connect as Connect starts it, but without the status watch: the road polls in steps
    // of its own, so that a poll's timing is the road's and the road walks again alike.
    KModuleQmr* module = Module();
    if (module == nullptr || LinkOpen() || module->IsBusy()) {
        return;
    }
    Ask();
    module->ToRemote();
}

void Road::CloseWindow()
{
    TFormAppQmr* window = Window();
    if (window == nullptr) {
        return;
    }
    End();
    // Every question before the close is answered yes.
    window->close();
    closed_ = Window() == nullptr;
}

// ---- the instrument ----

void Road::PublishPty()
{
    pty_ = std::make_unique<qmrtest::PtyPair>();
    pty_->PublishAs(1);
    char ids[64];
    std::snprintf(ids, sizeof ids, "vid=%04x\npid=%04x\n", qmr::kQmrUsbVendorId, qmr::kQmrUsbProductId);
    qmrtest::WriteFile("ports/COM1.usb", std::string(ids) + "serial=SN1\nname=QMR3400\n");
}

bool Road::FaceRead(std::string& into)
{
    if (!start_.usb) {
        into += tcp_.ReadAvailable();
        return true;
    }
    pollfd p{pty_->Master(), POLLIN, 0};
    char buf[512];
    while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0) {
        const ssize_t n = ::read(pty_->Master(), buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        into.append(buf, static_cast<size_t>(n));
    }
    return true;
}

bool Road::FaceSend(const std::string& bytes)
{
    return start_.usb ? pty_->Write(bytes) : tcp_.Send(bytes);
}

void Road::Next(NextReply what)
{
    dropNext_ = dropNext_ || what == NextReply::Drop;
    holdNext_ = holdNext_ || what == NextReply::HoldPastTimeOut;
    refuseMode_ = refuseMode_ || what == NextReply::RefuseMode;
}

void Road::ReleaseReplies()
{
    // A range reply still to come is held all the same.
    for (Reply& r : replies_) {
        r.held = false;
    }
}

void Road::StepDone()
{
    for (Reply& r : replies_) {
        --r.steps;
    }
}

void Road::Pump(std::chrono::milliseconds time)
{
    QTest::qWait(static_cast<int>(time.count()));
    NoteLink();
}

void Road::NoteLink()
{
    const bool open = LinkOpen();
    if (wasOpen_ && !open) {
        // What the closed link carried went out before its close.
        ReadWire();
        ++epoch_;
    }
    wasOpen_ = open;
    TFormAppQmr* window = Window();
    if (window != nullptr && window != lastWindow_) {
        // A new window: it reads the instrument when it connects, and asks soon when no reply
        // comes.
        lastWindow_ = window;
        ++windowNo_;
        window->TimerOver()->setInterval(kReplyTimeoutMs);
        refused_ = false;
        lossRefused_ = false;
    }
}

void Road::Serve()
{
    NoteLink();
    const uint64_t links = startUp_->ComModule() != nullptr ? startUp_->ComModule()->LinksOpened() : 0;
    if (!start_.usb && LinkOpen() && links != accepted_ && tcp_.Accept(1ms)) {
        accepted_ = links;
    }
    // A question of the reply time-out is judged before any reply goes out meanwhile.
    CountQuestion();
    // The wire before the log: a query sent before a reply was taken is read before the take.
    ReadWire();
    ReadLog();
    SendDue();
}

void Road::ReadWire()
{
    FaceRead(partial_);
    for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
        const std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        Received(line);
    }
}

void Road::Received(const std::string& line)
{
    lastLine_ = Clock::now();
    wire_.push_back(line);
    if (wire_.size() > 40) {
        wire_.pop_front();
    }
    Judge(line);
    const std::optional<std::string> reply = Answer(line);
    if (!reply) {
        return;
    }
    queries_.push_back({line});
    // The free text is left alone: its reply is awaited without a time-out, and one that never
    // comes leaves the device busy until the developer's BusyChk.
    const bool freeText = line == kFreeText;
    if (dropNext_ && !freeText) {
        dropNext_ = false;
        return;
    }
    const bool untilAsked = holdNext_ && !freeText;
    holdNext_ = holdNext_ && !untilAsked;
    const bool hold = holdRange_ && Starts(line, ":ISI:RANG?");
    holdRange_ = holdRange_ && !hold;
    replies_.push_back({line, *reply, delaySteps_, hold, untilAsked, queries_.size() - 1, accepted_});
}

std::optional<std::string> Road::Answer(const std::string& line)
{
    if (refuseMode_ && Starts(line, ":ISI:MODE ") && line.find(";*OPC?") != std::string::npos) {
        return "0";
    }
    const bool range = Starts(line, ":ISI:RANG?");
    const bool refuse = range && refuseRange_;
    if (refuse) {
        instrument_.SetRangeShape(qmrsim::RangeShape::Refused);
        refuseRange_ = false;
    }
    const int before = instrument_.State().frequency;
    const size_t errors = instrument_.State().errorQueue.size();
    std::optional<std::string> reply = instrument_.Execute(line);
    instrument_.SetRangeShape(qmrsim::RangeShape::Normal);
    if (Starts(line, ":ISI:IL ")) {
        lossRefused_ = instrument_.State().errorQueue.size() > errors;
    }
    const int now = instrument_.State().frequency;
    if (now != before) {
        int min = 0;
        int max = 0;
        instrument_.RangeFor(now, min, max);
        for (Newest& n : newest_) {
            n.ranges.emplace_back(min, max);
        }
    }
    if (range) {
        refused_ = refuse;
    }
    if (!reply) {
        return reply;
    }
    // Replies that tell which query they answer wherever the program does not need their exact
    // text: each identity is the link's serial number and a count of its own, each empty error
    // queue a count.
    static int tag = 0;
    if (line == "*IDN?") {
        const uint64_t link = startUp_->ComModule()->LinksOpened();
        return "QMR,QMR3400,SN" + std::to_string(link) + ",1." + std::to_string(++tag);
    }
    const std::string noError = "NO ERROR\"";
    for (size_t at = reply->find(noError); at != std::string::npos; at = reply->find(noError, at + 1)) {
        reply->insert(at + noError.size() - 1, " " + std::to_string(++tag));
    }
    return reply;
}

void Road::Judge(const std::string& line)
{
    int a = 0;
    int b = 0;
    double level = 0;
    char rest = 0;
    bool gated = false;
    if (std::sscanf(line.c_str(), ":ISI:IL %d,%d%c", &a, &b, &rest) == 2) {
        ++valuesOut_;
        gated = true;
        int min = 0;
        int max = 0;
        if (refused_) {
            // After a refused range the window keeps the limits of the last range it was given,
            // as the module's range step orders (it shows the warning and goes on): a loss may
            // then go out beyond the new frequency's range, and the instrument refuses it.
            if (a < acceptedRange_.first || a > acceptedRange_.second) {
                Fault("out of the limits that the window was given: " + line);
            }
        } else if (!instrument_.RangeFor(b, min, max) || a < min || a > max) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLoss) && !MadeSinceDrop(kFrequency)) {
            Fault(WhyNotMade(kLoss) + ": " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:LEVE %lf%c", &level, &rest) == 1) {
        ++valuesOut_;
        gated = true;
        if (level < 0.0 || level > 100.0) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLevel)) {
            Fault(WhyNotMade(kLevel) + ": " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:RANG? %d", &a) == 1) {
        if (a < qmrsim::Instrument::kMinFrequency || a > qmrsim::Instrument::kMaxFrequency) {
            Fault("out of the range in force: " + line);
        }
        // The connect reads the range of the frequency that the instrument has, right after
        // remote mode; every other range query is a new frequency, which the gate spaces.
        gated = wire_.size() < 2 || wire_[wire_.size() - 2] != ":SYST:REM;ERR?";
        if (a != instrument_.State().frequency && !MadeSinceDrop(kFrequency)) {
            Fault(WhyNotMade(kFrequency) + ": " + line);
        }
    }
    if (gated) {
        const int64_t at = RoadClock();
        if (lastGatedAt_ >= 0 && at - lastGatedAt_ < KComDeviceQmr::kGateMs - kGateSlackMs) {
            Fault("closer than the gate allows (" + std::to_string(at - lastGatedAt_) + " ms): " + line);
        }
        lastGatedAt_ = at;
    }
}

bool Road::MadeSinceDrop(Quantity q) const
{
    return newest_[q].epoch == epoch_ && newest_[q].window == windowNo_ && !closed_;
}

std::string Road::WhyNotMade(Quantity q) const
{
    const Newest& n = newest_[q];
    if (closed_) {
        return "went out after the window was closed";
    }
    if (n.epoch < 0) {
        return "made by no gesture";
    }
    if (n.window != windowNo_) {
        return "made in a window since replaced";
    }
    return "made before a drop";
}

void Road::Fault(const std::string& what)
{
    faults_.push_back(what);
}

void Road::SendDue()
{
    // One reply at a time, as an instrument answers one query after the other.
    if (replies_.empty()) {
        return;
    }
    const Reply& r = replies_.front();
    // The instrument answers a query on the connection that brought it: a closed one takes the
    // reply with it.
    if (!start_.usb && r.connection != accepted_) {
        replies_.pop_front();
        return;
    }
    if (r.held || r.untilAsked || r.steps > 0) {
        return;
    }
    FaceSend(r.text + "\n");
    sent_.emplace_back(r.query, r.text);
    queries_[r.queryIndex].answered = Clock::now();
    int min = 0;
    int max = 0;
    if (Starts(r.query, ":ISI:RANG?") && r.text[0] != '-' && std::sscanf(r.text.c_str(), "%d,%d", &min, &max) == 2) {
        acceptedRange_ = {min, max};
    }
    replies_.pop_front();
}

void Road::CountQuestion()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == counted_ ||
        modal->findChild<QPushButton*>(QStringLiteral("ButtonOk")) == nullptr) {
        return;
    }
    bool question = false;
    for (const QLabel* label : modal->findChildren<QLabel*>()) {
        question = question || label->text().contains(QStringLiteral("No response from QMR3400"));
    }
    if (!question) {
        return;
    }
    // The reply time-out asks once for each query whose reply was not there when it was due (a
    // reply that came just after may have been handed over after the question was asked).
    counted_ = modal;
    ++questions_;
    const auto unasked = std::find_if(queries_.begin(), queries_.end(), [](const Query& q) {
        return !q.askedFor && (!q.answered || *q.answered - q.at >= std::chrono::milliseconds(kReplyTimeoutMs) - 100ms);
    });
    if (unasked == queries_.end()) {
        Fault("the reply time-out asked with no query left unanswered");
    } else {
        unasked->askedFor = true;
        Note("the reply time-out asked for " + unasked->line + ", answered no");
    }
}

void Road::AnswerBoxes()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Note("a box said \"" + box->text().simplified().toStdString() + "\", answered yes");
        box->accept();
        return;
    }
    auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"));
    if (ok == nullptr) {
        return;
    }
    std::string text;
    for (const QLabel* label : modal->findChildren<QLabel*>()) {
        text += " \"" + label->text().simplified().toStdString() + "\"";
    }
    ReadLog();
    if (text.find("USB") != std::string::npos && lastEnd_ > lastAsk_) {
        Fault("a connect was tried that no press asked for:" + text);
    }
    if (text.find("No response from QMR3400") == std::string::npos) {
        Note("a message came up, answered OK:" + text);
        ok->click();
        return;
    }
    // The reply time-out's question is answered no.
    CountQuestion();
    if (auto* no = modal->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))) {
        no->click();
    }
    // What was held until the question goes out after the answer.
    for (Reply& r : replies_) {
        r.untilAsked = false;
    }
}

// ---- the program's log ----

void Road::ReadLog()
{
    if (!log_.is_open()) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("log", ec)) {
            log_.open(entry.path(), std::ios::binary);
        }
        if (!log_.is_open()) {
            return;
        }
    }
    char buf[4096];
    while (log_.read(buf, sizeof buf), log_.gcount() > 0) {
        logPartial_.append(buf, static_cast<size_t>(log_.gcount()));
    }
    log_.clear();
    for (size_t end = logPartial_.find('\n'); end != std::string::npos; end = logPartial_.find('\n')) {
        std::string line = logPartial_.substr(0, end);
        logPartial_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // "date time tag text"
        const size_t time = line.find(' ');
        const size_t tagAt = time == std::string::npos ? time : line.find(' ', time + 1);
        if (tagAt == std::string::npos) {
            continue;
        }
        const size_t textAt = line.find(' ', tagAt + 1);
        const std::string tag = line.substr(tagAt + 1, textAt == std::string::npos ? textAt : textAt - tagAt - 1);
        const std::string text = textAt == std::string::npos ? std::string() : line.substr(textAt + 1);
        if (IsCommandState(tag)) {
            Took(tag, text);
        } else if ((tag == "KModuleQmr" || tag == "KModuleQmrConfig") && text == "ToRemote") {
            if (lastAsk_ < 0 || lastEnd_ > lastAsk_) {
                Fault("a connect started that no press asked for since the last Disconnect, close of the link or of "
                      "the window");
            }
            ++order_;
        } else if (tag == "ComClose") {
            lastEnd_ = ++order_;
        }
    }
}

void Road::Took(const std::string& state, const std::string& text)
{
    // The replies come in the order they went out, and a sequence takes the reply to its own
    // query: the next one sent, or a later one (a reply that came while none was awaited is
    // dropped, and so is one set aside).
    for (size_t i = taken_; i < sent_.size(); ++i) {
        if (sent_[i].second == text && Answers(state, sent_[i].first)) {
            taken_ = i + 1;
            return;
        }
        // Two replies that came before one take of the receive FIFO are handed over as one
        // (it holds bytes, not lines): what the sequence makes of them is judged elsewhere.
        if (i + 1 < sent_.size() && sent_[i].second + sent_[i + 1].second == text) {
            taken_ = i + 2;
            return;
        }
    }
    std::string answered;
    for (const auto& [query, reply] : sent_) {
        if (reply == text) {
            answered = query;
        }
    }
    Fault(state + " took \"" + text + "\", " +
          (answered.empty() ? "which the instrument never sent" : "the answer to " + answered));
}

// ---- quiet ----

bool Road::Settled()
{
    return Unsettled().empty();
}

std::string Road::Unsettled()
{
    if (!replies_.empty()) {
        return "replies still to go";
    }
    if (QApplication::activeModalWidget() != nullptr) {
        return "a message window is up";
    }
    // With its window closed the program ends: what it still awaits is given up with it.
    if (Window() == nullptr) {
        return {};
    }
    KComDeviceQmr* device = startUp_->Device();
    if (LinkOpen() && (device->GetCommandState() != csIDLE || device->AwaitsReply())) {
        return "the device awaits a reply (command state " + std::to_string(device->GetCommandState()) + ")";
    }
    for (TFrameSlider* f : {Frame(false), Frame(true)}) {
        if (f != nullptr && (f->GetPending() >= 0 || f->TimerBusy->isActive())) {
            return "a slider value waits";
        }
    }
    if (Module()->GetFunctionState() != fnIDLE || Module()->GetBusy()) {
        return "the module runs function " + std::to_string(Module()->GetFunctionState()) + ", busy " +
               std::to_string(Module()->GetBusy());
    }
    return {};
}

bool Road::Quiesce()
{
    ReleaseReplies();
    holdRange_ = dropNext_ = holdNext_ = refuseMode_ = false;
    delaySteps_ = 0;
    for (Reply& r : replies_) {
        r.steps = 0;
        r.untilAsked = false;
    }
    const auto deadline = Clock::now() + 20s;
    // Quiet from the first look that found it so: a look that came late (the program held the
    // thread meanwhile) counts from itself.
    std::optional<Clock::time_point> quietSince;
    while (Clock::now() < deadline) {
        // Time passes the gate and the busy window, so that what waits may go.
        SkipTime(200);
        Pump(50ms);
        const auto now = Clock::now();
        if (!Settled() || now - lastLine_ < 300ms) {
            quietSince.reset();
        } else if (!quietSince) {
            quietSince = now;
        } else if (Window() != nullptr && Module()->IsRemote() && (instrument_.State().esr & 0x40) != 0) {
            // The instrument's local key is seen at the next poll.
            Poll();
        } else if (now - *quietSince >= 300ms) {
            return true;
        }
    }
    Note("not at rest: " + (Unsettled().empty() ? std::string("lines kept coming") : Unsettled()));
    return false;
}

std::string Road::LinkFaults()
{
    TFormAppQmr* window = Window();
    if (window == nullptr) {
        return {};
    }
    Ui::TFormAppQmr& form = window->Form();
    std::ostringstream out;
    // A window shown unconnected lights neither lamp until it has been remote once.
    const bool remote = Lit(form.LabelRemote);
    const bool local = !remote;
    const std::string serial = form.LabelSerial->text().trimmed().toStdString();
    if (remote && Lit(form.LabelLocal)) {
        out << "the lamps show both remote and local; ";
    }
    if (local) {
        if (LinkOpen()) {
            out << "local with the link open; ";
        }
        if (!form.ButtonSetting->isEnabled() || form.ButtonPanelLock->isEnabled() || form.ButtonConfig->isEnabled()) {
            out << "local with Com SET " << form.ButtonSetting->isEnabled() << ", Panel Lock "
                << form.ButtonPanelLock->isEnabled() << ", Configure " << form.ButtonConfig->isEnabled()
                << " (module busy " << Module()->IsBusy() << "); ";
        }
        if (serial != "S/N") {
            out << "local, the serial label says \"" << serial << "\"; ";
        }
    }
    if (!remote) {
        return out.str();
    }
    if (!LinkOpen()) {
        out << "remote with the link closed; ";
    }
    // The manual window shows remote once it has read the identity, but never takes the
    // instrument into remote mode: its connect ends there.
    if (WindowNumber() != 3 && !instrument_.State().remote) {
        out << "remote, the instrument is local; ";
    }
    const std::string identity = "S/N SN" + std::to_string(startUp_->ComModule()->LinksOpened());
    if (serial != identity) {
        out << "remote, the serial label says \"" << serial << "\", the link's identity is " << identity << "; ";
    }
    if (Settled()) {
        // In remote and idle no control is dead.
        TFrameSlider* active = Db() && FrequencySet()->isChecked() ? Frame(true) : Frame(false);
        if (active != nullptr && (!active->isEnabled() || !active->TrackBar->isEnabled())) {
            out << "remote and idle, the " << (active == Frame(true) ? "frequency" : "first")
                << " slider is greyed (frame " << active->isEnabled() << ", track bar " << active->TrackBar->isEnabled()
                << "); ";
        }
    }
    if (WindowNumber() == 2) {
        // A setting that the window read shows what the instrument answered for it.
        const qmrsim::InstrumentState s = instrument_.State();
        for (const auto& [name, value] :
             {std::pair{"EditBrightness", s.brightness}, std::pair{"EditAutoOff", s.autoOff}}) {
            const QString text = window->findChild<QLineEdit*>(QLatin1String(name))->text();
            if (!text.isEmpty() && text != QString::number(value)) {
                out << name << " shows " << text.toStdString() << ", the instrument has " << value << "; ";
            }
        }
    }
    return out.str();
}

std::string Road::QuietFaults()
{
    std::ostringstream out;
    out << LinkFaults();
    // Closed, local or lost, the window compares no value; the next connect reads again.
    if (Window() == nullptr || !LinkOpen() || !Module()->IsRemote() || Frame(false) == nullptr) {
        return out.str();
    }
    const KMessageScpiError* errors = KMessageScpiError::GetInstance();
    if (errors->GetErrorCount() > 0 || errors->HasFatal()) {
        out << "an error that the instrument reported was never shown; ";
    }
    const qmrsim::InstrumentState s = instrument_.State();
    auto shows = [&](const char* name, TFrameSlider* f, int held) {
        const KFrameModule* model = f->GetModel();
        const QString text = model->ValueToText(static_cast<int16_t>(held));
        // A value that the instrument reports beyond the slider's limits stands in the edit as
        // reported; the thumb stops at the limit (the models order it so).
        const int thumb =
            std::min(std::max(held, static_cast<int>(model->GetMinimum())), static_cast<int>(model->GetMaximum()));
        if (f->EditNum->text() != text || f->TrackBar->value() != thumb) {
            out << name << " shows " << f->EditNum->text().toStdString() << " at " << f->TrackBar->value()
                << ", the instrument holds " << text.toStdString() << "; ";
        }
    };
    auto holds = [&](const char* name, Quantity q, int held) {
        const Newest& n = newest_[q];
        if (n.epoch != epoch_ || n.window != windowNo_ || n.value < 0) {
            return; // dropped since, or never made: the instrument holds what the connect read
        }
        // A loss is limited to a range that the instrument had in force at some moment since.
        bool found = q != kLoss && held == n.value;
        for (const auto& [min, max] : n.ranges) {
            found = found || (q == kLoss && held == std::min(std::max(n.value, min), max));
        }
        if (!found) {
            out << "the newest " << name << " gesture was " << n.value << ", the instrument holds " << held << "; ";
        }
    };
    if (!Db()) {
        shows("level", Frame(false), s.level);
        holds("level", kLevel, s.level);
        return out.str();
    }
    // After a refused range the window keeps its old limits: a loss within them but beyond the
    // new frequency's range is refused by the instrument and stands in the window until the
    // error is reported.
    if (!(refused_ && lossRefused_)) {
        shows("loss", Frame(false), s.loss);
        holds("loss", kLoss, s.loss);
    }
    // While the frequency is edited its slider shows the value being edited. A refused range
    // leaves the window with the frequency sent (and its warning), which the instrument takes
    // only with the next loss that it accepts.
    if (!FrequencySet()->isChecked()) {
        const Newest& f = newest_[kFrequency];
        const bool sentOnly = refused_ && f.epoch == epoch_ && f.window == windowNo_ && f.value != s.frequency;
        shows("frequency", Frame(true), sentOnly ? f.value : s.frequency);
        if (!sentOnly) {
            holds("frequency", kFrequency, s.frequency);
        }
    }
    return out.str();
}

std::string Road::Report() const
{
    std::ostringstream out;
    for (const std::string& f : faults_) {
        out << "  " << f << "\n";
    }
    for (const std::string& n : notes_) {
        out << "  (" << n << ")\n";
    }
    out << "  the wire, last lines:";
    for (const std::string& line : wire_) {
        out << " [" << line << "]";
    }
    out << "\n  the replies, last ones:";
    for (size_t i = sent_.size() > 20 ? sent_.size() - 20 : 0; i < sent_.size(); ++i) {
        out << " [" << sent_[i].first << " -> " << sent_[i].second << "]";
    }
    return out.str();
}

} // namespace roadtest
