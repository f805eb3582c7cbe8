#pragma once
// The program's main road under test: the real start-up window, communication module, device,
// command modules and instrument windows (a plain window kind that records what the step
// engine asks of its sliders), the simulator on 127.0.0.1 or on a pseudo-terminal, and an
// operator who answers every message window.

#include "Simulator.h"
#include "TestSupport.h"

#include "app/instrument/Kmdlqmr.h"
#include "app/program/Formstup.h"
#include "app/windows/Formapqmr.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QLabel;

namespace enginetest {

using namespace std::chrono_literals;

// An instrument window without sliders: records the slider operations.
class TestWindow : public TFormAppQmr {
public:
    TestWindow(QWidget* owner, KModuleQmr* module, int number) : TFormAppQmr(owner, module), number(number) {}

    void ShowRemote(bool remote) override { remoteShown.push_back(remote); }
    void SetRange(int16_t max, int16_t min) override { ranges.emplace_back(max, min); }
    void ShowValue(int16_t value) override { values.push_back(value); }
    void ShowFrequency(int16_t value) override { frequencies.push_back(value); }
    void EnableSlider(bool on) override { sliderEnabled = on; }
    void SetFrequencyEditing(bool on) override { editing.push_back(on); }
    void DropPendingValues() override { ++drops; }
    // The mode button as the dB and percent windows have it; `slider` stands for the slider
    // frame that a mode change holds off.
    void ActionDBExecute() override
    {
        ChangeMode(&slider, number == 0 ? &KModuleQmr::ModeToPP : &KModuleQmr::ModeToIL, 1 - number);
    }

    int number;
    std::vector<bool> remoteShown;
    std::vector<std::pair<int16_t, int16_t>> ranges;
    std::vector<int16_t> values;
    std::vector<int16_t> frequencies;
    std::vector<bool> editing;
    bool sliderEnabled = false;
    int drops = 0;
    QWidget slider;
};

// One message window as the operator saw it.
struct Shown {
    QString caption;
    QString upper;
    QString lower;
};

// Answers each modal message window shortly after it opens: the next queued answer, else
// yes (OK). Records what each window said.
class Operator : public QObject {
public:
    Operator();
    void Queue(bool yes) { answers_.push_back(yes); }
    const std::vector<Shown>& Seen() const { return seen_; }
    bool SawUpper(const QString& upper) const;
    bool SawCaption(const QString& caption) const;
    void Forget() { seen_.clear(); }
    // Message windows stay up unanswered until `ready` holds (asked on every tick, also inside
    // the windows' own message loops).
    void HoldUntil(std::function<bool()> ready) { ready_ = std::move(ready); }

private:
    void Tick();
    QTimer timer_;
    std::function<bool()> ready_;
    std::deque<bool> answers_;
    std::vector<Shown> seen_;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The simulator: its TCP face always, a pseudo-terminal face as COM `ptyCom` when above 0.
    void StartSim(int ptyCom = 0);
    // "APPSET.DAT" (in `folder`) for the simulator's TCP face (or another TCP port on
    // 127.0.0.1), or its USB face when `usbCom` is above 0.
    void WriteSettings(int usbCom = 0, int tcpPort = 0, const std::filesystem::path& folder = ".");
    // Starts the program's start-up window and runs its start-up step.
    void StartProgram();
    // Shuts the program down as the end of its message loop does.
    void StopProgram();

    TestWindow* Window() const;
    KModuleQmr* Module() const;
    KComDeviceQmr* Device() const;
    QLabel* Label(const char* name) const;
    bool LampLit(const char* name) const;

    // Clicks Connect and waits until the connect sequence has ended (idle).
    void ClickConnect();
    bool WaitIdle(std::chrono::milliseconds timeout = 10s);
    bool WaitRemote(std::chrono::milliseconds timeout = 10s);
    bool WaitLocal(std::chrono::milliseconds timeout = 10s);
    bool WaitForLine(const std::string& line, std::chrono::milliseconds timeout = 10s);

    // Lines the simulator received, in order.
    std::vector<std::string> Lines() const;
    int Count(const std::string& line) const;

    qmrtest::ScopedWorkDir dir;
    qmrsim::Simulator sim;
    Operator op;
    std::unique_ptr<TFormStartUp> startUp;
    int usbCom = 0;
};

// The program itself (the real binary), started in the working folder with the tests'
// sanitizer options and the offscreen platform; killed when still running at the end.
class ProgramProcess {
public:
    ~ProgramProcess();
    // `env`: further "NAME=value" settings for the program; `inChild` runs in the child before
    // the exec (limits, signals, descriptors, folder).
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
               const std::function<void()>& inChild = {});
    void Signal(int signal) const;
    int Pid() const { return pid_; }
    // True when the program ended within the time; its wait status in `status`.
    bool WaitExit(std::chrono::milliseconds timeout, int& status);

private:
    int pid_ = -1;
};

// Everything the program logged into the "log/" of `folder`.
std::string LogText(const std::filesystem::path& folder = ".");

// The connect sequence of the dB (kind 0) and percent (kind 1) windows.
std::vector<std::string> ConnectLines(int kind, int frequency);

} // namespace enginetest
