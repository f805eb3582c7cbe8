#include "app/link/Selectmn.h"

#include "app/core/Formmn.h"
#include "wenport/Wenport.h"

#include <QDialog>

#include <cstring>

namespace {

// The buffers that Wenport is documented to fill.
constexpr int kNameBufferSize = 20;
constexpr int kSerialBufferSize = 20;
constexpr int kDeviceNameBufferSize = 104;
// No more ports can exist than there are port indices.
constexpr int kMaxPorts = 256;

const QStringList kCaptions = {QStringLiteral("Select COM port"), QStringLiteral("Port No"),
                               QStringLiteral("Port Info"), QStringLiteral("Please select Com port.")};

const KUsbComListing kWenportListing = {&_SetVidPid, &_GetUsbComName, &_GetUsbComSerial, &_GetUsbComDeviceName};

// A buffer's text up to its zero byte, never past the buffer.
QString BufferText(const char* buffer, int size)
{
    return QString::fromUtf8(buffer, static_cast<qsizetype>(strnlen(buffer, static_cast<size_t>(size))));
}

} // namespace

const KUsbComListing& WenportUsbComListing()
{
    return kWenportListing;
}

KSelectMenuCom::KSelectMenuCom(const KUsbComListing& listing) : listing_(listing)
{
}

KSelectMenuCom::~KSelectMenuCom() = default;

bool KSelectMenuCom::Run(int& port, uint16_t vendorId, uint16_t productId)
{
    vendorId_ = vendorId;
    productId_ = productId;
    return Select(port);
}

bool KSelectMenuCom::Select(int& port)
{
    port = ShowMenu(port);
    return port >= 0;
}

void KSelectMenuCom::AddItem(const QString& /*number*/, const QString& /*name*/)
{
}

void KSelectMenuCom::MakeList(QStringList& entries, QStringList& numbers)
{
    entries.clear();
    numbers.clear();
    listing_.SetVidPid(vendorId_, productId_);
    for (int i = 0; i < kMaxPorts; ++i) {
        char name[kNameBufferSize] = {};
        char serial[kSerialBufferSize] = {};
        // Both are asked every time, also when the first has failed.
        const int nameResult = listing_.GetUsbComName(i, name);
        const int serialResult = listing_.GetUsbComSerial(i, serial);
        if (nameResult <= 0 || serialResult <= 0) {
            break;
        }
        char deviceName[kDeviceNameBufferSize] = {};
        if (listing_.GetUsbComDeviceName(vendorId_, productId_, serial, deviceName) == 0) {
            break;
        }
        QString entry = BufferText(deviceName, kDeviceNameBufferSize);
        const qsizetype comAt = entry.indexOf(QStringLiteral("(COM"));
        if (comAt >= 0) {
            entry.truncate(comAt);
        }
        entry += QLatin1Char('(') + BufferText(serial, kSerialBufferSize) + QLatin1Char(')');
        entries.append(entry.left(kMaxEntryLength));
        numbers.append(BufferText(name, kNameBufferSize).mid(3).left(kMaxNumberLength));
    }
}

int KSelectMenuCom::ShowMenu(int current)
{
    QStringList entries;
    QStringList numbers;
    MakeList(entries, numbers);

    int result = -1;
    TFormMenu form(nullptr, this);
    form.Fill(kCaptions, entries, numbers, current);
    if (form.exec() == QDialog::Accepted) {
        const int index = form.GetSelectedIndex();
        if (index >= 0 && index < numbers.size()) {
            bool ok = false;
            const int number = numbers[index].trimmed().toInt(&ok);
            result = ok ? number : 0;
        }
    }
    return result;
}
