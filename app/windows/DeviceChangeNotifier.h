#pragma once
// Turns the platform's device watch into a Qt signal: devicesChanged() is emitted on the thread
// that made the object (the GUI thread) whenever serial devices or the ports/ folder change;
// the instrument window re-evaluates the USB cable on it.

#include "platform/DeviceWatch.h"

#include <QObject>
#include <vector>

class QSocketNotifier;

class DeviceChangeNotifier : public QObject {
    Q_OBJECT

public:
    explicit DeviceChangeNotifier(QObject* parent = nullptr, qmr::platform::DeviceWatch::Monitor monitor =
                                                                 qmr::platform::DeviceWatch::Monitor::Auto);
    ~DeviceChangeNotifier() override;

    // True when at least one source (udev monitor or ports/ watch) is open.
    bool IsWatching() const { return !notifiers_.empty(); }

signals:
    // Several changes that arrive together are reported once.
    void devicesChanged();

private:
    void OnReadable();

    qmr::platform::DeviceWatch watch_;
    std::vector<QSocketNotifier*> notifiers_;
};
