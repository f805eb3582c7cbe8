// qmr-sim: the instrument simulator as a program. It serves the instrument's network face on
// 127.0.0.1 and its USB face on a pseudo-terminal published as ports/COM<n>, takes its fault
// knobs as options and, while it runs, as control lines on its standard input or a FIFO.

#include "Simcontrol.h"
#include "Simulator.h"

#include "common/QmrUsbIds.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void PrintHelp()
{
    std::cout << "Usage: qmr-sim [options] [knobs]\n"
                 "Simulates the QMR3400 instrument on 127.0.0.1 and on a pseudo-terminal.\n"
                 "\n"
                 "Options:\n"
                 "  --tcp-port N        TCP port on 127.0.0.1 (default 10001; 0: any free port)\n"
                 "  --no-tcp            no network face\n"
                 "  --pty-com N         publish a pseudo-terminal as ports/COMN (default: none)\n"
                 "  --dir D             the folder that holds ports/ (default: the current one)\n"
                 "  --terminator T      reply terminator: lf (default), crlf or cr\n"
                 "  --record FILE       write every received line as \"<ms since start> <line>\"\n"
                 "  --control FIFO      also read control lines from this FIFO (made when missing)\n"
                 "  --usb-alt           describe the port with the alternative product id\n"
                 "  --usb-pid HEX       describe the port with this product id\n"
                 "  --usb-serial TEXT   serial number in the port's descriptor (default: the instrument's)\n"
                 "  --serial TEXT       the instrument's serial number (default SN34000123)\n"
                 "  --help              this text\n"
                 "\n"
                 "At start it prints \"tcp-port N\", \"pty-link PATH\", \"pty-slave PATH\" and \"ready\".\n"
                 "It runs until SIGTERM, SIGINT or the control line \"quit\".\n"
                 "\n"
                 "Knobs: every control command is also an option: \"--name VALUE\" when it needs\n"
                 "arguments (all of them in one VALUE, e.g. --error-on \"*IDN? -113\"), \"--name\" or\n"
                 "\"--name=VALUE\" when they are optional. Control commands (standard input, --control):\n"
              << qmrsim::ControlInterpreter::Help();
}

bool ReadLines(int fd, std::string& pending, std::vector<std::string>& lines, bool& eof)
{
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    if (n == 0) {
        eof = true;
        if (!pending.empty()) {
            lines.push_back(pending);
            pending.clear();
        }
        return true;
    }
    pending.append(buffer, static_cast<size_t>(n));
    size_t at = 0;
    while ((at = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        pending.erase(0, at + 1);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qmrsim::SimulatorOptions options;
    std::string recordPath;
    std::string controlPath;
    std::string serial;
    std::vector<std::string> knobs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "qmr-sim: " << arg << " needs " << what << "\n";
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&](const char* what, int base = 10) {
            std::string text = value(what);
            char* end = nullptr;
            long v = std::strtol(text.c_str(), &end, base);
            if (text.empty() || *end != '\0' || v < -1 || v > 65535) {
                std::cerr << "qmr-sim: " << arg << ": bad " << what << " \"" << text << "\"\n";
                std::exit(2);
            }
            return static_cast<int>(v);
        };
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--tcp-port") {
            options.tcpPort = number("a port number");
        } else if (arg == "--no-tcp") {
            options.tcpPort = -1;
        } else if (arg == "--pty-com") {
            options.ptyCom = number("a COM number");
        } else if (arg == "--dir") {
            options.dir = value("a folder");
        } else if (arg == "--terminator") {
            std::string t = value("lf, crlf or cr");
            if (t != "lf" && t != "crlf" && t != "cr") {
                std::cerr << "qmr-sim: --terminator: lf, crlf or cr\n";
                return 2;
            }
            options.terminator = t == "lf" ? "\n" : t == "cr" ? "\r" : "\r\n";
        } else if (arg == "--record") {
            recordPath = value("a file");
        } else if (arg == "--control") {
            controlPath = value("a FIFO path");
        } else if (arg == "--usb-alt") {
            options.usbProductId = qmr::kQmrUsbProductIdAlt;
        } else if (arg == "--usb-pid") {
            options.usbProductId = static_cast<uint16_t>(number("a hex product id", 16));
        } else if (arg == "--usb-serial") {
            options.usbSerial = value("a serial number");
        } else if (arg == "--serial") {
            serial = value("a serial number");
        } else if (arg.starts_with("--")) {
            std::string name = arg.substr(2);
            std::string argument;
            bool hasArgument = false;
            if (size_t eq = name.find('='); eq != std::string::npos) {
                argument = name.substr(eq + 1);
                name.resize(eq);
                hasArgument = true;
            }
            if (!qmrsim::ControlInterpreter::IsCommand(name) || name == "quit" || name == "help") {
                std::cerr << "qmr-sim: unknown option " << arg << " (see --help)\n";
                return 2;
            }
            if (!hasArgument && qmrsim::ControlInterpreter::NeedsArguments(name)) {
                argument = value("its arguments");
                hasArgument = true;
            }
            knobs.push_back(hasArgument ? name + " " + argument : name);
        } else {
            std::cerr << "qmr-sim: unexpected argument " << arg << " (see --help)\n";
            return 2;
        }
    }

    // The signals are taken through a descriptor; every thread inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    qmrsim::Simulator sim;
    if (!serial.empty()) {
        sim.instrument().SetSerial(serial);
    }
    if (!recordPath.empty() && !sim.SetRecordFile(recordPath)) {
        std::cerr << "qmr-sim: cannot write " << recordPath << "\n";
        return 1;
    }
    qmrsim::ControlInterpreter control(sim);
    bool quit = false;
    for (const std::string& knob : knobs) {
        std::string result = control.Run(knob, quit);
        if (!result.starts_with("ok")) {
            std::cerr << "qmr-sim: --" << knob << ": " << result << "\n";
            return 2;
        }
    }
    if (!sim.Start(options)) {
        std::cerr << "qmr-sim: " << sim.LastError() << "\n";
        return 1;
    }
    int controlFd = -1;
    if (!controlPath.empty()) {
        if (mkfifo(controlPath.c_str(), 0600) != 0 && errno != EEXIST) {
            std::cerr << "qmr-sim: cannot make " << controlPath << ": " << std::strerror(errno) << "\n";
        }
        // Opened for writing too, so that the FIFO never reports an end when a writer leaves.
        controlFd = open(controlPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (controlFd < 0) {
            std::cerr << "qmr-sim: cannot open " << controlPath << ": " << std::strerror(errno) << "\n";
        }
    }
    if (sim.TcpPort() > 0) {
        std::cout << "tcp-port " << sim.TcpPort() << "\n";
    }
    if (!sim.PtyLink().empty()) {
        std::cout << "pty-link " << sim.PtyLink().string() << "\n";
        std::cout << "pty-slave " << sim.PtySlavePath() << "\n";
    }
    std::cout << "ready" << std::endl;

    int stdinFd = STDIN_FILENO;
    std::string stdinPending;
    std::string controlPending;
    while (!quit) {
        pollfd fds[3] = {{signalFd, POLLIN, 0}, {stdinFd, POLLIN, 0}, {controlFd, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == sizeof info && info.ssi_signo != SIGPIPE) {
                break;
            }
        }
        std::vector<std::string> lines;
        for (int k = 1; k <= 2; ++k) {
            if (fds[k].fd < 0 || (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            bool eof = false;
            std::string& pending = k == 1 ? stdinPending : controlPending;
            if (!ReadLines(fds[k].fd, pending, lines, eof) || eof) {
                if (k == 1) {
                    stdinFd = -1; // the end of standard input does not end the simulator
                } else {
                    close(controlFd);
                    controlFd = -1;
                }
            }
        }
        for (const std::string& line : lines) {
            std::string result = control.Run(line, quit);
            if (!result.empty()) {
                std::cout << result << std::endl;
            }
            if (quit) {
                break;
            }
        }
    }
    sim.Stop();
    if (controlFd >= 0) {
        close(controlFd);
    }
    if (signalFd >= 0) {
        close(signalFd);
    }
    return 0;
}
