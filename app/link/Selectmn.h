#pragma once
// The USB port picker: lists the instrument's USB virtual COM ports (found through Wenport by
// vendor and product id) in the list-choice window and gives back the COM number chosen.
// GUI thread only.

#include "app/core/Menumodel.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Where the picker asks for ports: Wenport's functions unless a test gives others.
struct KUsbComListing {
    int (*SetVidPid)(uint16_t vendorId, uint16_t productId);
    int (*GetUsbComName)(int index, char* name);
    int (*GetUsbComSerial)(int index, char* serial);
    int (*GetUsbComDeviceName)(uint16_t vendorId, uint16_t productId, const char* serial, char* name);
};

// Wenport's own functions.
const KUsbComListing& WenportUsbComListing();

class KSelectMenuCom : public KSelectMenu {
public:
    static constexpr int kMaxEntryLength = 100;
    static constexpr int kMaxNumberLength = 9;

    explicit KSelectMenuCom(const KUsbComListing& listing = WenportUsbComListing());
    ~KSelectMenuCom() override;

    // Stores the ids, then Select: true when a port was chosen (its number in `port`);
    // otherwise `port` is -1.
    bool Run(int& port, uint16_t vendorId, uint16_t productId);

    bool Select(int& port) override;
    // Ports cannot be added by hand: nothing happens.
    void AddItem(const QString& number, const QString& name) override;
    // One entry per port, in Wenport's order, up to the first index that fails: the device
    // name cut before its "(COM" followed by "(" serial ")", and the COM number as text.
    void MakeList(QStringList& entries, QStringList& numbers) override;

    // Shows the list with `current` preselected: the chosen port's number, or -1 when the
    // window was cancelled or no port row was chosen.
    int ShowMenu(int current);

    uint16_t GetVendorId() const { return vendorId_; }
    uint16_t GetProductId() const { return productId_; }

private:
    KUsbComListing listing_;
    uint16_t vendorId_ = 0;
    uint16_t productId_ = 0;
};
