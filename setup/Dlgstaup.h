#pragma once
// Setup's one window: it shows the processor's word size for half a second, starts the
// installer of that word size that lies beside Setup's own program file, and closes, which
// ends Setup. Setup does not wait for the installer.

#include "common/Kprocess.h"

#include <QWidget>

#include <memory>

class QTimer;

namespace Ui {
class TFormStartup;
}

class TFormStartup : public QWidget {
    Q_OBJECT

public:
    // Room for the processor identifier, zero byte included: a longer one is cut.
    static constexpr int kIdentifierRoom = 100;

    explicit TFormStartup(QWidget* parent = nullptr);
    ~TFormStartup() override;

    // 64 when the processor identifier holds "64", else 32 when it holds "x86", else 0.
    static int GetBitness();

private:
    void Timer1Timer();

    std::unique_ptr<Ui::TFormStartup> ui_;
    QTimer* Timer1 = nullptr;
    int bitness_ = 0;
    // The installer's process is neither waited for nor ended: it outlives Setup.
    KProcess installer_;
};

// Starts `file` shown, with `parameters` as its one argument, and does not wait: true when
// it was started. Only a program file is started; anything else starts nothing.
bool ExecShell(KProcess& runner, const char* file, const char* parameters);
