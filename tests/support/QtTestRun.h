#pragma once
// Runs the tests of a program that needs a QApplication: the offscreen platform unless the
// environment names another, and a private runtime folder.

int RunQtTests(int argc, char** argv);
