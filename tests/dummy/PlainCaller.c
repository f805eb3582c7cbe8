/* A caller without a Qt application, written in C: the dummy switch cannot make a window
   here, and the serial, log and window-position exports work as they always did. Prints what
   failed and exits with 1, or exits with 0. */
#define _GNU_SOURCE
#include "bramble/Bramble.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

static int failures = 0;

static void Check(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

/* A pseudo-terminal in raw mode published as ports/COM1; returns its master side. */
static int PublishPty(void)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return -1;
    }
    struct termios tio;
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    mkdir("ports", 0700);
    if (symlink(ptsname(master), "ports/COM1") != 0) {
        close(master);
        return -1;
    }
    return master;
}

int main(void)
{
    char work[] = "/tmp/qmr-plaincaller-XXXXXX";
    if (mkdtemp(work) == NULL || chdir(work) != 0) {
        perror("work folder");
        return 1;
    }
    const char* settings = "baud=19200 parity=N data=8 stop=1";
    char buf[64];

    Check(_SetSioDmy(1) == 1, "dummy mode on");
    Check(_Rs232Open(2, settings) == -1, "a dummy open without a Qt application fails");
    Check(_Rs232Recv(2, buf, 10) == -1, "the failed dummy port left no slot behind");
    _Rs232Name(2, "nobody");
    _Rs232BufferClear(2);
    Check(_FormDlgSioDmy == NULL, "the exported window variable stays null");
    Check(_SetSioDmy(0) == 0, "dummy mode off");

    int master = PublishPty();
    Check(master >= 0, "pseudo-terminal");
    Check(_Rs232Open(0, settings) == 0, "a real port opens");
    Check(_Rs232CrLf(0, "\n") == 1, "terminator");
    Check(_Rs232Send(0, "PING", 4) == 1, "send");
    ssize_t got = read(master, buf, sizeof buf);
    Check(got == 5 && memcmp(buf, "PING\n", 5) == 0, "the line reached the device");
    Check(write(master, "PONG\n", 5) == 5, "reply written");
    Check(_Rs232Recv(0, buf, 10) == 4 && strcmp(buf, "PONG") == 0, "the reply line is received");
    _Rs232Close(0);

    Check(_StartLog(0, 'C') == 1, "log started");
    char tag[] = "PlainCaller";
    Check(_WriteNumLog(tag, 42) == 1, "log line");
    _EndLog();

    _StartWinPos();
    Check(_SetWinPos(10, 20, 300, 200, "Plain") == 1, "position stored");
    _ExitWinPos();
    struct stat st;
    Check(stat("APPPOS.POS", &st) == 0 && st.st_size == 48, "positions saved");

    if (master >= 0) {
        close(master);
    }
    /* The folder's few files go with it. */
    char command[128];
    snprintf(command, sizeof command, "rm -rf '%s'", work);
    if (chdir("/") != 0 || system(command) != 0) {
        perror("cleanup");
    }
    return failures == 0 ? 0 : 1;
}
