#pragma once
// One road through the real program: the start-up window with its window switch, the dB,
// percent, settings and manual windows, their command modules and the device, on a real link
// (TCP on 127.0.0.1, or a pseudo-terminal published as the USB port COM 1) to a scripted
// instrument (the simulator's own command processor), whose replies the road delays, holds,
// drops or refuses when told. The road keeps what the rules need: each drop of the link and
// each window, the newest gesture of each quantity, every line that reached the instrument and
// every reply it gave, and what the program logged, judged as it arrives.

#include "Siminstr.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include "app/windows/Formapqmr.h"
#include "app/windows/Framemod.h"
#include "app/windows/Framslid.h"
#include "app/windows/Frmsldfq.h"

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TFormStartUp;

namespace roadtest {

using Clock = std::chrono::steady_clock;

// A thumb held long: past the gate and the busy window.
constexpr int kHoldMs = 1200;
// Real time in which a retry of the frames (every 100 ms) surely comes.
constexpr int kRetryPumpMs = 150;
// The reply time-out of the road's windows, in real time.
constexpr int kReplyTimeoutMs = 800;
// The free text that the manual window sends: a query that no sequence of the program sends.
constexpr const char* kFreeText = "*OPC?";

// Moves the gate's clock on: the roads' clock is real time plus the time skipped.
void SkipTime(int ms);

enum Quantity { kLevel, kLoss, kFrequency, kQuantities };

// The newest gesture of one quantity: its value, the drops and the window when it was made, and
// the loss ranges that the instrument had in force since.
struct Newest {
    int value = -1;
    int epoch = -1;
    int window = -1;
    std::vector<std::pair<int, int>> ranges;
};

struct RoadStart {
    bool db = true;       // the dB window, else the percent window
    int value = 0;        // the loss or the level, in tenths
    int frequency = 1000; // in hundredths of a GHz
    bool usb = false;     // over the pseudo-terminal, else over TCP
};

// What the instrument does with the next reply; or, from now on, with every mode change.
enum class NextReply { Drop, HoldPastTimeOut, RefuseMode };

class Road {
public:
    explicit Road(const RoadStart& start);
    ~Road();

    // The window shown now: 0 dB, 1 percent, 2 settings, 3 manual; -1 when there is none.
    TFormAppQmr* Window() const;
    int WindowNumber() const;
    bool Db() const { return WindowNumber() == 0; }
    KModuleQmr* Module() const;
    // The slider of the level (percent window) or the loss (dB window), or the frequency's;
    // none in the settings and manual windows.
    TFrameSlider* Frame(bool frequency) const;
    QToolButton* FrequencySet() const;
    bool LinkOpen();

    // The connect sequence started (by the Connect button when `press`, else as it starts it,
    // without the status watch) and answered; empty once remote and idle, else what went wrong.
    std::string Connect(bool press);

    // A gesture of the operator on a quantity's slider: made since the last drop when the link
    // was open; its value is what the slider then holds (the frequency's once the editing ended).
    template <typename Make>
    void Gesture(Quantity q, Make&& make);

    // The instrument.
    qmrsim::Instrument& Instrument() { return instrument_; }
    // Each reply from now on goes out only after this many further steps of the road.
    void SetReplyDelay(int steps) { delaySteps_ = steps; }
    void StepDone();
    void HoldNextRange() { holdRange_ = true; }
    void RefuseNextRange() { refuseRange_ = true; }
    void Next(NextReply what);
    void ReleaseReplies();
    void Poll();

    // A button of the window, as the operator reaches it (shown and not greyed); one that may
    // start a connect asks for it. False when the button could not be reached.
    bool Press(const char* button, bool asksConnect);
    // The mode button twice, the second press 40 ms after the first (while the first's change is
    // under way the button has not yet followed the state).
    void PressModeTwice();
    // The switch to the manual window ("/A" shows its button), or back from it.
    void Manual();
    void Disconnect()
    {
        End();
        Press("ButtonDisConnect", false);
    }
    // The link: reset, or closed in order (FIN); over USB the pseudo-terminal hangs up.
    void LoseLink(bool fin);
    void Reconnect();
    void CloseWindow();

    // Events and the instrument's service for a while.
    void Pump(std::chrono::milliseconds time);
    // Releases what is held and lets time pass until nothing moves; false when it never did.
    bool Quiesce();
    // What is wrong once quiet. Empty when all holds.
    std::string QuietFaults();

    const std::vector<std::string>& Faults() const { return faults_; }
    // A line for the report of a failed road.
    void Note(const std::string& text) { notes_.push_back(text); }
    int ValuesOut() const { return valuesOut_; }
    int Drops() const { return epoch_; }
    int Switches() const { return windowNo_ - 1; }
    int Questions() const { return questions_; }
    std::string Report() const;

    // Where the left button is while held on the thumb.
    QPoint mouse;
    // The button held on the thumb comes up, `heldMs` later (the retries go on meanwhile),
    // wherever the thumb has gone.
    void LetGo(int heldMs);

private:
    struct Reply {
        std::string query;
        std::string text;
        int steps; // of the road still to come before it goes out
        bool held;
        bool untilAsked; // held until the reply time-out has asked
        size_t queryIndex;
        uint64_t connection; // over LAN: the connection that carried the query
    };
    // A query that the instrument received and what became of its reply.
    struct Query {
        std::string line;
        Clock::time_point at = Clock::now();
        std::optional<Clock::time_point> answered; // when its reply went out
        bool askedFor = false;                     // the time-out's question came for it
    };

    // The instrument's side of the link.
    bool FaceRead(std::string& into);
    bool FaceSend(const std::string& bytes);
    void PublishPty();

    void Serve();
    void NoteLink();
    void ReadWire();
    void Received(const std::string& line);
    std::optional<std::string> Answer(const std::string& line);
    // The rules of what goes out, judged as each line arrives.
    void Judge(const std::string& line);
    bool MadeSinceDrop(Quantity q) const;
    std::string WhyNotMade(Quantity q) const;
    void Fault(const std::string& what);
    void SendDue();
    void AnswerBoxes();
    void CountQuestion();
    bool Settled();
    // Why the road is not at rest; empty when it is.
    std::string Unsettled();
    // The program's log, as far as it has been written: each reply a sequence took, each
    // connect that started, each link that closed.
    void ReadLog();
    void Took(const std::string& state, const std::string& text);
    // The order of the operator's asks and ends, and of the connects.
    void Ask() { ReadLog(), lastAsk_ = ++order_; }
    void End() { ReadLog(), lastEnd_ = ++order_; }
    std::string LinkFaults();

    RoadStart start_;
    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer tcp_;
    std::unique_ptr<qmrtest::PtyPair> pty_;
    qmrsim::Instrument instrument_;
    std::unique_ptr<TFormStartUp> startUp_;
    bool exposed_ = false;
    bool closed_ = false; // the operator closed the window: the program has ended
    TFormAppQmr* lastWindow_ = nullptr;
    int windowNo_ = 0;
    uint64_t accepted_ = 0; // the program's links that the instrument has taken

    QTimer serve_;
    QTimer answer_;
    std::string partial_;
    std::deque<Reply> replies_;
    std::vector<Query> queries_;
    int delaySteps_ = 0;
    bool holdRange_ = false;
    bool refuseRange_ = false;
    bool dropNext_ = false;
    bool holdNext_ = false;
    bool refuseMode_ = false;
    // A refused range leaves the window with the limits of the last range it was given.
    bool refused_ = false;
    std::pair<int, int> acceptedRange_{0, 700};
    bool lossRefused_ = false; // the last loss line was refused by the instrument
    Clock::time_point lastLine_ = Clock::now();
    int64_t lastGatedAt_ = -1; // the gate clock when the last level, loss or frequency came

    std::ifstream log_;
    std::string logPartial_;
    std::vector<std::pair<std::string, std::string>> sent_; // query and reply, as they went out
    size_t taken_ = 0;                                      // replies of sent_ matched so far
    int order_ = 0;
    int lastAsk_ = -1;
    int lastEnd_ = -1;

    int valuesOut_ = 0;         // levels, losses and frequencies that reached the instrument
    int epoch_ = 0;             // drops so far
    int questions_ = 0;         // of the reply time-out
    QPointer<QWidget> counted_; // the question counted last
    bool wasOpen_ = false;
    std::array<Newest, kQuantities> newest_;
    std::vector<std::string> faults_;
    std::vector<std::string> notes_;
    std::deque<std::string> wire_;
};

template <typename Make>
void Road::Gesture(Quantity q, Make&& make)
{
    NoteLink();
    TFrameSlider* frame = Frame(q == kFrequency);
    if (frame == nullptr) {
        return; // no such slider in this window
    }
    const bool counts = LinkOpen();
    const uint32_t generation = frame->GetGeneration();
    const bool editing = Db() && FrequencySet()->isChecked();
    const int16_t valueBefore = frame->GetModel()->GetValue();
    // Made since the last drop already while it is made: what it sends may go out meanwhile.
    const Newest before = newest_[q];
    if (counts) {
        newest_[q].epoch = epoch_;
        newest_[q].window = windowNo_;
    }
    make();
    // The frequency's gestures only edit it, and send nothing: the value edited goes out when
    // the editing ends, by the SET button or by the program (the end of a connect's range step
    // ends it too).
    const bool edited = q == kFrequency && editing && frame->GetModel()->GetValue() != valueBefore;
    // An act that the slider did not take (a step button while busy, a key at the limit of the
    // thumb) is no gesture.
    if (!counts || Window() == nullptr || (frame->GetGeneration() == generation && !edited)) {
        newest_[q] = before;
        return;
    }
    Newest& n = newest_[q];
    if (q == kFrequency && !editing) {
        n = before;
        return;
    }
    n.value = frame->GetModel()->GetValue();
    int min = 0;
    int max = 0;
    n.ranges.clear();
    if (instrument_.RangeFor(instrument_.State().frequency, min, max)) {
        n.ranges.emplace_back(min, max);
    }
}

} // namespace roadtest
