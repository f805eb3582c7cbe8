#include "RoadRig.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/windows/Formapqmril.h"
#include "app/windows/Formapqmrpp.h"
#include "app/windows/Frmsldpp.h"
#include "ui_Formapqmr.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <cstdio>
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

} // namespace

void SkipTime(int ms)
{
    gSkipped += ms;
}

Road::Road(bool db, int value, int frequency) : db_(db), link_(db ? kKindIL : kKindPP)
{
    SetQmrClockForTest(&RoadClock);
    SetQmrPauseForTest(&RoadPause);
    instrument_.SetRangeTable(kBands);
    instrument_.SetMode(db ? 'I' : 'P');
    instrument_.SetFrequency(frequency);
    instrument_.SetLoss(db ? value : 0);
    instrument_.SetLevel(db ? 0 : value);

    KModuleQmr* module = link_.TakeModule();
    if (db) {
        auto window = std::make_unique<TFormAppQmrIL>(&owner_, module);
        value_ = window->FrameSliderIL;
        frequency_ = window->FrameSliderFrq;
        window_ = std::move(window);
    } else {
        auto window = std::make_unique<TFormAppQmrPp>(&owner_, module);
        value_ = window->FrameSliderPp;
        window_ = std::move(window);
    }
    module->SetForm(window_.get());
    window_->show();
    exposed_ = QTest::qWaitForWindowExposed(window_.get());

    QObject::connect(&serve_, &QTimer::timeout, [this] { Serve(); });
    serve_.start(2);
    QObject::connect(&answer_, &QTimer::timeout, [this] { AnswerBoxes(); });
    answer_.start(10);
}

Road::~Road()
{
    serve_.stop();
    answer_.stop();
    window_.reset();
    link_.Close();
    SetQmrPauseForTest(nullptr);
}

TFrameSlider* Road::Frame(bool frequency) const
{
    return frequency && frequency_ != nullptr ? frequency_ : value_;
}

QToolButton* Road::FrequencySet() const
{
    return db_ ? static_cast<TFormAppQmrIL&>(*window_).SpeedButtonSet : nullptr;
}

std::string Road::Connect()
{
    if (!exposed_) {
        return "the window was never shown";
    }
    Reconnect();
    if (!LinkOpen()) {
        return "the link did not open";
    }
    if (!QTest::qWaitFor(
            [&] { return Module() != nullptr && Module()->IsRemote() && Module()->GetFunctionState() == fnIDLE; },
            10000)) {
        std::ostringstream why;
        why << "the window was not in remote 10 s after the connect (remote " << (Module() && Module()->IsRemote())
            << ", step " << (Module() ? Module()->GetFunctionState() : -1) << ", command state "
            << link_.Device().GetCommandState() << ", busy " << (Module() && Module()->IsBusy()) << ")";
        return why.str();
    }
    return {};
}

void Road::LetGo(int heldMs)
{
    if (heldMs > 0) {
        // The program goes on while the button is held: what has arrived is handled first, and
        // the time passes after it.
        Pump(std::chrono::milliseconds(kRetryPumpMs));
        SkipTime(heldMs);
        Pump(std::chrono::milliseconds(kRetryPumpMs));
    }
    QSlider* track = value_->TrackBar;
    Gesture(db_ ? kLoss : kLevel, [&] { QTest::mouseRelease(track, Qt::LeftButton, Qt::NoModifier, mouse); });
}

void Road::ReleaseReplies()
{
    for (Reply& r : replies_) {
        r.held = false;
    }
    holdRange_ = false;
}

void Road::StepDone()
{
    for (Reply& r : replies_) {
        --r.steps;
    }
}

void Road::Poll()
{
    // As the status watch polls: only while neither the module nor the device is busy.
    if (Module() != nullptr && LinkOpen() && !Module()->IsBusy()) {
        Module()->ReadStatusByte();
    }
}

void Road::LoseLink()
{
    // As the start-up window does once the reader has seen the link go.
    link_.Peer().Reset();
    if (windowOpen_) {
        window_->DropConnection();
    }
}

void Road::Reconnect()
{
    if (!windowOpen_ || LinkOpen()) {
        return;
    }
    // The connect as Connect starts it, but without the status watch: the road polls in steps
    // of its own, so that a poll's timing is the road's and the road walks again alike.
    KModuleQmr* module = Module();
    if (module->IsBusy()) {
        return;
    }
    module->ToRemote();
    if (LinkOpen() && !link_.Peer().Accept(5000ms)) {
        Note("the instrument never took the link's connection");
    }
}

void Road::CloseWindow()
{
    // Every question before the close is answered yes.
    window_->close();
    windowOpen_ = window_->Module() != nullptr;
    if (!windowOpen_) {
        closed_ = true;
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
        ++epoch_;
    }
    wasOpen_ = open;
}

void Road::Serve()
{
    NoteLink();
    partial_ += link_.Peer().ReadAvailable();
    for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
        const std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        Received(line);
    }
    SendDue();
}

void Road::Received(const std::string& line)
{
    lastLine_ = Clock::now();
    wire_.push_back(line);
    if (wire_.size() > 40) {
        wire_.pop_front();
    }
    Judge(line);
    const bool range = line.rfind(":ISI:RANG?", 0) == 0;
    const bool refuse = range && refuseRange_;
    if (refuse) {
        instrument_.SetRangeShape(qmrsim::RangeShape::Refused);
        refuseRange_ = false;
    }
    const int before = instrument_.State().frequency;
    const std::optional<std::string> reply = instrument_.Execute(line);
    instrument_.SetRangeShape(qmrsim::RangeShape::Normal);
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
    if (reply) {
        const bool hold = range && holdRange_;
        if (hold) {
            holdRange_ = false;
        }
        replies_.push_back({*reply, delaySteps_, hold});
    }
}

void Road::Judge(const std::string& line)
{
    int a = 0;
    int b = 0;
    double level = 0;
    char rest = 0;
    if (std::sscanf(line.c_str(), ":ISI:IL %d,%d%c", &a, &b, &rest) == 2) {
        ++valuesOut_;
        int min = 0;
        int max = 0;
        // After a refused range the window keeps the limits of the frequency before, as the
        // module's range step orders (it shows the warning and goes on): a loss may then go out
        // beyond the new frequency's range, and the instrument refuses it.
        if (!refused_ && (!instrument_.RangeFor(b, min, max) || a < min || a > max)) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLoss) && !MadeSinceDrop(kFrequency)) {
            Fault("made before a drop: " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:LEVE %lf%c", &level, &rest) == 1) {
        ++valuesOut_;
        if (level < 0.0 || level > 100.0) {
            Fault("out of the range in force: " + line);
        }
        if (!MadeSinceDrop(kLevel)) {
            Fault("made before a drop: " + line);
        }
    } else if (std::sscanf(line.c_str(), ":ISI:RANG? %d", &a) == 1) {
        if (a < qmrsim::Instrument::kMinFrequency || a > qmrsim::Instrument::kMaxFrequency) {
            Fault("out of the range in force: " + line);
        }
        // The connect reads the range of the frequency that the instrument has.
        if (a != instrument_.State().frequency && !MadeSinceDrop(kFrequency)) {
            Fault("made before a drop: " + line);
        }
    }
}

void Road::Fault(const std::string& what)
{
    faults_.push_back(what);
}

void Road::SendDue()
{
    while (!replies_.empty() && !replies_.front().held && replies_.front().steps <= 0) {
        link_.Peer().Send(replies_.front().text + "\n");
        replies_.pop_front();
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
    } else if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))) {
        std::string text;
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            text += " \"" + label->text().simplified().toStdString() + "\"";
        }
        Note("a message came up, answered OK:" + text);
        ok->click();
    }
}

bool Road::Settled()
{
    if (!replies_.empty() || QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    if (LinkOpen() && link_.Device().GetCommandState() != csIDLE) {
        return false;
    }
    if (!windowOpen_) {
        return true;
    }
    for (TFrameSlider* f : {value_, static_cast<TFrameSlider*>(frequency_)}) {
        if (f != nullptr && (f->GetPending() >= 0 || f->TimerBusy->isActive())) {
            return false;
        }
    }
    return Module()->GetFunctionState() == fnIDLE && !Module()->GetBusy();
}

bool Road::Quiesce()
{
    ReleaseReplies();
    delaySteps_ = 0;
    for (Reply& r : replies_) {
        r.steps = 0;
    }
    const auto deadline = Clock::now() + 20s;
    auto quietSince = Clock::now();
    while (Clock::now() < deadline) {
        // Time passes the gate and the busy window, so that what waits may go.
        SkipTime(200);
        Pump(50ms);
        const auto now = Clock::now();
        if (!Settled() || now - lastLine_ < 300ms) {
            quietSince = now;
        } else if (now - quietSince >= 300ms) {
            return true;
        }
    }
    return false;
}

std::string Road::QuietFaults()
{
    // Closed, local or lost, the window compares with nothing; the next connect reads again.
    if (!windowOpen_ || !LinkOpen() || !Module()->IsRemote()) {
        return {};
    }
    const KMessageScpiError* errors = KMessageScpiError::GetInstance();
    if (errors->GetErrorCount() > 0 || errors->HasFatal()) {
        return "an error that the instrument reported was never shown";
    }
    const qmrsim::InstrumentState s = instrument_.State();
    std::ostringstream out;
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
        if (n.epoch != epoch_ || n.value < 0) {
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
    if (!db_) {
        shows("level", value_, s.level);
        holds("level", kLevel, s.level);
    } else if (!refused_) {
        // The Part's window keeps a refused frequency shown (with its warning); nothing to
        // compare until a range is known again.
        shows("loss", value_, s.loss);
        holds("loss", kLoss, s.loss);
        // While the frequency is edited its slider shows the value being edited.
        if (!FrequencySet()->isChecked()) {
            shows("frequency", frequency_, s.frequency);
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
    return out.str();
}

} // namespace roadtest
