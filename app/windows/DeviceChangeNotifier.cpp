#include "DeviceChangeNotifier.h"

#include <QSocketNotifier>

DeviceChangeNotifier::DeviceChangeNotifier(QObject* parent, qmr::platform::DeviceWatch::Monitor monitor)
    : QObject(parent), watch_(monitor)
{
    for (int fd : watch_.Fds()) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &DeviceChangeNotifier::OnReadable);
        notifiers_.push_back(notifier);
    }
}

// As children the notifiers would go only after the watch had closed their descriptors.
DeviceChangeNotifier::~DeviceChangeNotifier()
{
    for (QSocketNotifier* notifier : notifiers_) {
        delete notifier;
    }
}

void DeviceChangeNotifier::OnReadable()
{
    // Draining reads every pending event of both sources, so the descriptors go quiet again.
    if (watch_.Drain()) {
        emit devicesChanged();
    }
}
