// The shared library as the program binds it: its export table and a listing through it.
#include "wenport/Wenport.h"

#include "TestSupport.h"
#include "common/QmrUsbIds.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

TEST(WenportLibrary, ExportsExactlyTheFiveFunctions)
{
    const std::set<std::string> names = qmrtest::ExportedSymbols(WENPORT_LIBRARY_PATH);
    EXPECT_EQ(names, (std::set<std::string>{"_GetActiveComName", "_GetUsbComDeviceName", "_GetUsbComName",
                                            "_GetUsbComSerial", "_SetVidPid"}));
}

TEST(WenportLibrary, ListsASimulatedInstrumentOnAPseudoTerminal)
{
    qmrtest::ScopedWorkDir dir;
    qmrtest::PtyPair sim;
    sim.PublishAs(250);
    qmrtest::WriteFile("ports/COM250.usb", "vid=2f5a\npid=3401\nserial=SIM0250\nname=Simulated QMR3400\n");

    _SetVidPid(qmr::kQmrUsbVendorId, qmr::kQmrUsbProductIdAlt);
    // Devices of this machine come first (lower numbers); the pseudo port is the last one.
    int last = -1;
    int index = 0;
    char name[20];
    for (; index < 256; ++index) {
        int com = _GetUsbComName(index, name);
        if (com < 0) {
            break;
        }
        last = index;
    }
    ASSERT_GE(last, 0);
    ASSERT_LT(index, 256);
    EXPECT_EQ(_GetUsbComName(last, name), 250);
    EXPECT_STREQ(name, "COM250");
    char serial[20];
    ASSERT_GT(_GetUsbComSerial(last, serial), 0);
    EXPECT_STREQ(serial, "SIM0250");
    char device[104];
    ASSERT_NE(_GetUsbComDeviceName(qmr::kQmrUsbVendorId, qmr::kQmrUsbProductIdAlt, serial, device), 0);
    EXPECT_STREQ(device, "Simulated QMR3400 (COM250)");

    bool seen = false;
    for (int i = 0; i < 256; ++i) {
        char active[20];
        char second[20];
        int com = _GetActiveComName(i, active, second);
        if (com <= 0) {
            break;
        }
        seen = seen || (com == 250 && std::string(active) == "COM250");
    }
    EXPECT_TRUE(seen);
}
