// The connect sequence of the dB window, timed: the program's own start-up window and dB
// window, connected over TCP to the simulator on 127.0.0.1, Connect pressed N times (each run
// ended by Disconnect). Prints per run the time from the press to the loss range on the
// window, and over all steps the time the program adds to each round trip beyond its fixed
// step timer (the reply's arrival at the simulator to the next command's arrival, less the
// timer's interval and the fixed pause before the range query).
// The target is 2 ms added to a round trip at the 99th percentile. Most steps add about
// 1.3 ms, on a quiet machine and on one with every core busy alike; but now and then a step
// waits for a scheduler slice or several (up to 60 ms seen with every core busy), and over
// 80 steps the 99th percentile is the slowest one. A step that waits for a timer tick or a
// wait slice that it should not (100 ms or more) does so in every run: the limit, 20 ms, is
// on the 90th percentile, which one command of the eight delayed in every run already
// pushes past.
// The first command reaches the instrument about 101 ms after the press, within 120 ms with
// every core busy: the target is 150 ms. A link thread that sits out its wait slice
// (1000 ms) before it starts holds it back by that slice in every run: the limit, 600 ms,
// is on the median.
// Usage: bench_connect [runs]. Exits 1 when a figure is past its limit (with
// QMR_BENCH_STRICT=1 also past its target).

#include "BenchVerdict.h"
#include "Simulator.h"
#include "TestSupport.h"

#include "app/core/Appdefine.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/program/Formstup.h"
#include "app/windows/Formapqmril.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kConnectLimitMs = 3000.0;
constexpr double kFirstCommandTargetMs = 150.0;
constexpr double kFirstCommandLimitMs = 600.0;
constexpr double kStepP90LimitMs = 20.0;
constexpr double kStepP99TargetMs = 2.0;
constexpr double kTickMs = 100.0;
constexpr double kRangePauseMs = 500.0;

// With QMR_BENCH_TRACE: every event that kept the GUI thread for 0.3 ms or more (also one
// delivered inside another), with what received it, so that the trace shows what the GUI
// thread did between a reply and the next command.
struct GuiBusy {
    Clock::time_point at;
    double ms;
    std::string what;
};

class TracingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!tracing) {
            return QApplication::notify(receiver, event);
        }
        // Named before the delivery, which may delete the receiver.
        const char* type = receiver->metaObject()->className();
        const std::string name = receiver->objectName().toStdString() + " event " + std::to_string(event->type());
        ++depth_;
        const Clock::time_point start = Clock::now();
        const bool result = QApplication::notify(receiver, event);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        --depth_;
        if (ms >= 0.3) {
            // Nested deliveries (a paint inside an update request) are indented.
            busy.push_back({start, ms, std::string(static_cast<size_t>(2 * depth_), ' ') + type + " " + name});
        }
        return result;
    }

    bool tracing = false;
    std::vector<GuiBusy> busy;

private:
    int depth_ = 0;
};

TracingApplication* TraceApp()
{
    return static_cast<TracingApplication*>(QCoreApplication::instance());
}

// The dB window, with the moment the loss range reached it.
class TimedDbWindow : public TFormAppQmrIL {
public:
    TimedDbWindow(QWidget* owner, KModuleQmr* module) : TFormAppQmrIL(owner, module)
    {
        TimerFunc()->installEventFilter(this);
    }

    void SetRange(int16_t max, int16_t min) override
    {
        TFormAppQmrIL::SetRange(max, min);
        if (!rangeAt) {
            rangeAt = Clock::now();
        }
    }

    void PostReply(const std::string& reply) override
    {
        Stamp('R');
        TFormAppQmrIL::PostReply(reply);
    }
    void StartFunction(int event) override
    {
        Stamp('S');
        TFormAppQmrIL::StartFunction(event);
    }
    void AppendMemo(const QString& line) override
    {
        Timed("view AppendMemo", [&] { TFormAppQmrIL::AppendMemo(line); });
    }
    void SetReplyTimer(bool on) override
    {
        Timed("view SetReplyTimer", [&] { TFormAppQmrIL::SetReplyTimer(on); });
    }
    template <typename F>
    void Timed(const char* what, F&& call)
    {
        const Clock::time_point start = Clock::now();
        call();
        if (TraceApp()->tracing) {
            TraceApp()->busy.push_back(
                {start, std::chrono::duration<double, std::milli>(Clock::now() - start).count(), what});
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == TimerFunc() && event->type() == QEvent::Timer) {
            Stamp('T');
        }
        return TFormAppQmrIL::eventFilter(watched, event);
    }
    void Stamp(char what)
    {
        std::lock_guard<std::mutex> lock(stampMutex);
        stamps.emplace_back(what, Clock::now());
    }

    std::optional<Clock::time_point> rangeAt;
    std::mutex stampMutex;
    std::vector<std::pair<char, Clock::time_point>> stamps;
};

TFormAppQmr* MakeTimedDbWindow(QWidget* owner, KModuleQmr* module)
{
    return new TimedDbWindow(owner, module);
}

void AnswerMessages()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    std::printf("unexpected message window\n");
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box->accept();
    } else if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))) {
        ok->click();
    } else {
        modal->close();
    }
}

// Runs the event loop as the program's own message loop does until done() holds; false after
// timeoutMs. (A wait that sleeps between its passes would hold back the program's timers.)
bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The commands of the dB window's connect sequence, in order; the range query ends in the
// frequency.
const std::vector<std::string> kSequence = {":ISI:MODE?",  "*IDN?",         ":ISI:IL?",       ":SYST:ERR?",
                                            ":SYST:KLOC?", "*ESE 68;*OPC?", ":SYST:REM;ERR?", ":ISI:RANG? "};

bool IsStep(const std::string& line, size_t index)
{
    return index + 1 == kSequence.size() ? StartsWith(line, kSequence[index].c_str()) : line == kSequence[index];
}

struct Run {
    double connectMs = 0;
    double floorMs = 0;
    double firstCommandMs = 0; // the press to the first command's arrival
    std::vector<double> stepExtraMs;
};

class Bench {
public:
    bool Start();
    std::optional<Run> ConnectOnce();
    bool DisconnectOnce();
    void Stop();
    void Trace()
    {
        TimedDbWindow* w = Window();
        // Time, kind, and for a GUI-thread event ('G') its text.
        std::vector<std::tuple<Clock::time_point, char, std::string>> all;
        {
            std::lock_guard<std::mutex> lock(w->stampMutex);
            for (const auto& [what, at] : w->stamps) {
                all.emplace_back(at, what, "");
            }
            w->stamps.clear();
        }
        for (const qmrsim::Received& r : sim_.Records()) {
            all.emplace_back(r.at, 'Q', r.line);
        }
        for (const GuiBusy& b : TraceApp()->busy) {
            char text[32];
            std::snprintf(text, sizeof text, "%6.2f ms ", b.ms);
            all.emplace_back(b.at, 'G', text + b.what);
        }
        TraceApp()->busy.clear();
        std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
        for (size_t i = 0; i < all.size(); ++i) {
            const double step = i == 0 ? 0.0 : Ms(std::get<0>(all[i]) - std::get<0>(all[i - 1]));
            std::printf("  %c %+8.2f %s\n", std::get<1>(all[i]), step, std::get<2>(all[i]).c_str());
        }
    }

private:
    TimedDbWindow* Window() const
    {
        return startUp_ ? dynamic_cast<TimedDbWindow*>(startUp_->CurrentWindow()) : nullptr;
    }
    KModuleQmr* Module() const { return Window() != nullptr ? Window()->Module() : nullptr; }
    bool Idle() const
    {
        KModuleQmr* m = Module();
        return m != nullptr && m->GetFunctionState() == fnIDLE && !m->GetBusy();
    }

    qmrsim::Simulator sim_;
    std::unique_ptr<TFormStartUp> startUp_;
};

bool Bench::Start()
{
    qmrsim::SimulatorOptions options;
    options.tcpPort = 0;
    options.dir = std::filesystem::current_path();
    if (!sim_.Start(options)) {
        std::fprintf(stderr, "simulator: %s\n", sim_.LastError().c_str());
        return false;
    }
    qmrtest::WriteFile("chkip.bat",
                       "#!/bin/sh\nprintf 'Reply from %s: bytes=32 time=1ms TTL=64\\n' \"$1\" > chkip.res\n");
    std::filesystem::permissions("chkip.bat", std::filesystem::perms::owner_all);
    AppSetRecord record{};
    record.Com.Interface = kInterfaceLan;
    record.Com.ComPort = 1;
    std::strcpy(record.Com.IpAddress, "127.0.0.1");
    record.Com.TcpPort = sim_.TcpPort();
    std::strcpy(record.Com.Terminator, "\n");
    qmrtest::WriteFile("APPSET.DAT", std::string(reinterpret_cast<const char*>(&record), sizeof record));

    TFormStartUp::SetWindowMaker(0, MakeTimedDbWindow);
    startUp_ = std::make_unique<TFormStartUp>();
    startUp_->show();
    startUp_->StartUp();
    return Window() != nullptr && QTest::qWaitForWindowExposed(Window());
}

std::optional<Run> Bench::ConnectOnce()
{
    TimedDbWindow* window = Window();
    window->rangeAt.reset();
    sim_.ClearRecords();
    // A window's first tick comes after 10 ms, every later one after 100 ms.
    const double firstTickMs = window->TimerFunc()->interval();
    auto* button = window->findChild<QPushButton*>(QStringLiteral("ButtonConnect"));
    const Clock::time_point pressed = Clock::now();
    button->click();
    if (!WaitUntil([&] { return window->rangeAt.has_value() && Idle(); }, 15000)) {
        std::fprintf(stderr, "the loss range did not arrive\n");
        return std::nullopt;
    }

    // The arrival of each command of the sequence; other lines (a status poll) are passed over.
    std::vector<Clock::time_point> arrivals;
    for (const qmrsim::Received& r : sim_.Records()) {
        if (arrivals.size() < kSequence.size() && IsStep(r.line, arrivals.size())) {
            arrivals.push_back(r.at);
        }
    }
    if (arrivals.size() != kSequence.size()) {
        std::fprintf(stderr, "the connect sequence was not as expected (%zu of %zu commands)\n", arrivals.size(),
                     kSequence.size());
        return std::nullopt;
    }
    Run run;
    run.connectMs = Ms(*window->rangeAt - pressed);
    run.firstCommandMs = Ms(arrivals.front() - pressed);
    double fixed = 0;
    for (size_t i = 1; i < arrivals.size(); ++i) {
        double nominal = i == 1 ? firstTickMs : kTickMs;
        if (i + 1 == arrivals.size()) {
            nominal += kRangePauseMs;
        }
        fixed += nominal;
        run.stepExtraMs.push_back(Ms(arrivals[i] - arrivals[i - 1]) - nominal);
    }
    // The range reply's tick hands the range to the window.
    fixed += kTickMs;
    run.stepExtraMs.push_back(Ms(*window->rangeAt - arrivals.back()) - kTickMs);
    run.floorMs = fixed;
    return run;
}

bool Bench::DisconnectOnce()
{
    Window()->findChild<QPushButton*>(QStringLiteral("ButtonDisConnect"))->click();
    return WaitUntil(
        [&] {
            KModuleQmr* m = Module();
            return m != nullptr && !m->IsConnected() && !m->IsRemote() && Idle();
        },
        15000);
}

void Bench::Stop()
{
    if (startUp_) {
        startUp_->FormDestroy();
        startUp_.reset();
    }
    sim_.Stop();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    qmrtest::ScopedWorkDir dir;
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    }
    TracingApplication app(argc, argv);
    app.tracing = std::getenv("QMR_BENCH_TRACE") != nullptr;
    app.setQuitOnLastWindowClosed(false);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, &AnswerMessages);
    answer.start(50);

    Bench bench;
    bool ok = bench.Start();
    std::vector<double> connects;
    std::vector<double> firstCommands;
    std::vector<double> steps;
    for (int i = 0; ok && i < runs; ++i) {
        const std::optional<Run> run = bench.ConnectOnce();
        if (!run) {
            ok = false;
            break;
        }
        std::printf("run %2d: Connect to loss range %7.1f ms (fixed step timers %6.1f ms; press to first command "
                    "%5.1f ms)\n",
                    i + 1, run->connectMs, run->floorMs, run->firstCommandMs);
        if (std::getenv("QMR_BENCH_TRACE") != nullptr) {
            bench.Trace();
        }
        if (std::getenv("QMR_BENCH_STEPS") != nullptr) {
            for (size_t k = 0; k < run->stepExtraMs.size(); ++k) {
                std::printf("    after %-16s %6.2f ms\n", kSequence[k].c_str(), run->stepExtraMs[k]);
            }
        }
        connects.push_back(run->connectMs);
        firstCommands.push_back(run->firstCommandMs);
        steps.insert(steps.end(), run->stepExtraMs.begin(), run->stepExtraMs.end());
        ok = bench.DisconnectOnce();
        if (!ok) {
            std::fprintf(stderr, "Disconnect did not end in the local state\n");
        }
    }
    bench.Stop();
    if (!ok) {
        return 1;
    }

    std::printf("Connect to loss range over %zu runs: max %.1f ms\n", connects.size(), Percentile(connects, 1.0));
    std::printf("added per round trip beyond the step timer over %zu steps: min %.2f ms, median %.2f ms, max %.2f ms\n",
                steps.size(), Percentile(steps, 0.0), Percentile(steps, 0.5), Percentile(steps, 1.0));
    qmrtest::BenchVerdict verdict;
    verdict.AtMost({.name = "Connect to loss range, median",
                    .value = Percentile(connects, 0.5),
                    .limit = kConnectLimitMs,
                    .decimals = 1});
    verdict.AtMost({.name = "press to first command, median",
                    .value = Percentile(firstCommands, 0.5),
                    .target = kFirstCommandTargetMs,
                    .limit = kFirstCommandLimitMs,
                    .decimals = 1});
    verdict.AtMost({.name = "added per round trip, p90",
                    .value = Percentile(steps, 0.9),
                    .limit = kStepP90LimitMs,
                    .decimals = 2});
    verdict.AtMost({.name = "added per round trip, p99",
                    .value = Percentile(steps, 0.99),
                    .target = kStepP99TargetMs,
                    .decimals = 2});
    return verdict.ExitCode();
}
