/* A caller in C without a Qt application: a dummy port cannot make its window here, and the
   other exports work as they always did (the serial ones are tested at length, also without
   a Qt application, by test_serial). Exits with the number of failed checks. */
#define _GNU_SOURCE
#include "bramble/Bramble.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static int failures = 0;

static void Check(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    char work[] = "/tmp/qmr-plaincaller-XXXXXX";
    if (mkdtemp(work) == NULL || chdir(work) != 0) {
        perror("work folder");
        return 1;
    }
    char buf[16];
    struct stat st;

    Check(_SetSioDmy(1) == 1 && _Rs232Open(200, "baud=19200 parity=N data=8 stop=1") == -1, "dummy open fails");
    Check(_Rs232Recv(200, buf, 10) == -1 && _Rs232RecvLen(200) == -1, "no slot left behind");
    Check(_FormDlgSioDmy == NULL, "the window variable stays null");
    _SetSioDmy(0);
    Check(_Rs232Open(200, "baud=19200 parity=N data=8 stop=1") == -1, "no such real port either");

    char tag[] = "PlainCaller";
    Check(_StartLog(0, 'C') == 1 && _WriteNumLog(tag, 42) == 1, "log");
    _EndLog();
    _StartWinPos();
    Check(_SetWinPos(10, 20, 300, 200, "Plain") == 1, "position stored");
    _ExitWinPos();
    Check(stat("APPPOS.POS", &st) == 0 && st.st_size == 48, "positions saved");

    char command[64];
    snprintf(command, sizeof command, "rm -rf '%s'", work);
    if (chdir("/") != 0 || system(command) != 0) {
        perror("cleanup");
    }
    return failures;
}
