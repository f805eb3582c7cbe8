#pragma once
// The process's console: the terminal on its standard output, when there is one. Only one
// holder at a time, as a process has only one console.

#include <cstddef>

namespace qmr::platform {

// The output value that stands for "no usable console output".
constexpr int kInvalidConsoleOutput = -1;

// Takes the console. False when standard output is no terminal or the console is already held.
bool ConsoleAlloc();

// The output of the held console (the standard output descriptor), or kInvalidConsoleOutput
// when standard output can no longer be had.
int ConsoleStdOutput();

// Writes the bytes in one system call; true when all of them went out.
bool ConsoleWrite(int output, const char* data, std::size_t size);

// Gives the console up; it may be taken again afterwards.
void ConsoleFree();

} // namespace qmr::platform
