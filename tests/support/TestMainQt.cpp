// Main of the tests that need a QApplication (the screenshot script runs them under Xvfb by
// naming its platform).
#include "QtTestRun.h"

int main(int argc, char** argv)
{
    return RunQtTests(argc, argv);
}
