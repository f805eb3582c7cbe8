#pragma once
// The link factories: they build the chain of an open link (transport, stream with its
// reader thread and receive FIFO, communication thread) in a fixed order, take it down again
// when a step fails, and take a running link down on request. All run on the GUI thread.

#include "Comthread.h"

#include <cstdint>

class KStreamCom;

// A running USB link on the port index (COM number - 1), or none.
ComThread* MakeCom232(int portIndex, int baudRate, const char* terminator, ComRecvCallback callback);
// A running LAN link to host:tcpPort, or none.
ComThread* MakeComTcpip(const char* host, uint16_t tcpPort, const char* terminator, ComRecvCallback callback);

// An opened stream over an opened transport, or none (nothing is left behind).
KStreamCom* CreateRs232cCom(int portIndex, int baudRate);
KStreamCom* CreateTcpipCom(const char* host, uint16_t tcpPort);

// A running communication thread that owns the stream, or none (the stream is deleted).
ComThread* MakeComThread(KStreamCom* stream);

// Stops the thread, waits for it and deletes it with its stream, reader thread, FIFO and
// transport. True when the thread had been seen running; false for none or when it never
// began.
bool CloseComThread(ComThread* thread);
