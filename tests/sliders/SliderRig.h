#pragma once
// A real link for the slider tests: the communication module, the instrument device and a
// command module of the wanted kind, connected over TCP to a peer on 127.0.0.1 that reads
// what the instrument would receive. The send gate's clock is the test's: it moves only when
// the test says so.

#include "app/core/Appdefine.h"
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/link/Commodul.h"

#include "LinkPeers.h"
#include "TestSupport.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace slidertest {

using namespace std::chrono_literals;

// The gate clock: starts at 10 s and moves by hand.
void ResetClock();
void AdvanceClock(int ms);

class Link {
public:
    // kind: kKindIL or kKindPP. The module has no window.
    explicit Link(int kind);
    ~Link();

    // Opens the link to the peer and accepts it; the module is left idle and the gate open.
    bool Connect();
    // Closes the link at the device (the module, which a window may have deleted, is not used).
    void Close();

    // The next line that the peer received, without its terminator; empty when none came
    // within `timeout`. Pending events are processed while it waits.
    std::string NextLine(std::chrono::milliseconds timeout = 2000ms);
    // Moves the gate clock past the gate and the busy window so that the next value may go.
    void OpenGate() { AdvanceClock(1100); }
    // Every line that goes out while the gate is opened before each, until `quiet` passes
    // without one.
    std::vector<std::string> Wire(std::chrono::milliseconds quiet);
    // The instrument's reply line (the terminator is added).
    bool Reply(const std::string& line) { return peer_.Send(line + "\n"); }
    // Answers a conversation: each command in turn must be the next line, and gets its reply.
    // `before` runs once a command has arrived, before its reply goes. Returns the first line
    // that was not the command expected (empty when all were).
    struct Exchange {
        std::string command;
        std::string reply;
    };
    std::string Converse(const std::vector<Exchange>& exchanges,
                         const std::function<void(const std::string& command)>& before = {});

    KModuleQmr& Module() { return *module_; }
    // Hands the module to a window, which deletes it; the link keeps using it until then.
    KModuleQmr* TakeModule() { return owned_.release(); }
    KComDeviceQmr& Device() { return device_; }
    // The instrument's side of the link, for a test that plays the instrument itself.
    linktest::TcpPeer& Peer() { return peer_; }

private:
    qmrtest::ScopedWorkDir dir_;
    linktest::TcpPeer peer_;
    KComModule com_;
    KComDeviceQmr device_{&com_};
    std::unique_ptr<KModuleQmr> owned_;
    KModuleQmr* module_ = nullptr;
    std::string partial_; // bytes of a line not yet complete
};

// The empty error queue's reply.
inline const std::string kNoError = "0,\"NO ERROR\"";

// The connect sequence of the percent window (kKindPP) or the dB window (kKindIL) up to the
// remote state, as the instrument answers it; `read` answers the level or loss read.
std::vector<Link::Exchange> ConnectConversation(int kind, const std::string& read);

// Answers the next modal window with OK, keeping the texts of its panels.
class ModalAnswerer {
public:
    ModalAnswerer();
    bool Shown() const { return shown_; }
    QString Upper() const { return upper_; }
    QString Lower() const { return lower_; }

private:
    void Poll();

    bool shown_ = false;
    QString upper_;
    QString lower_;
    int polls_ = 0;
    QObject context_; // ends the polling with the answerer
};

// Whether a modal window is up.
bool ModalUp();

} // namespace slidertest
