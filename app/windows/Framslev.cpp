// The slider frame's event routing: which control's key, mouse and wheel events become which
// handler, and the application-wide hook that sees the left-button release on the track bar.
#include "app/windows/Framemod.h"
#include "app/windows/Framslid.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

// Sees every event the application delivers; reports the left-button press and release that
// reach this frame's track bar. It never consumes the event.
class TFrameSlider::AppHook : public QObject {
public:
    explicit AppHook(TFrameSlider* frame) : QObject(frame), frame_(frame) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress && watched == frame_->TrackBar &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            frame_->TrackPressed();
        }
        if (event->type() == QEvent::MouseButtonRelease && watched == frame_->TrackBar &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && frame_->model_ != nullptr &&
            !frame_->model_->IsGuarded()) {
            frame_->ApplicationEvents1Message();
        }
        return false;
    }

private:
    TFrameSlider* frame_;
};

void TFrameSlider::InstallHooks()
{
    TrackBar->installEventFilter(this);
    EditNum->installEventFilter(this);
    SpeedButtonUp->installEventFilter(this);
    SpeedButtonDn->installEventFilter(this);
    new AppHook(this);
}

bool TFrameSlider::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Wheel && (watched == TrackBar || watched == EditNum)) {
        // The frame's wheel steps, in place of the track bar's own (the edit has none).
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    if (watched == TrackBar) {
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            return TrackBarKeyDown(key->key(), key->modifiers());
        }
    } else if (watched == EditNum) {
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (EditNumKeyDown(key->key(), key->modifiers())) {
                return true;
            }
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                return EditNumKeyPress(kEnter);
            }
            return false;
        }
        if (type == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            return EditNumKeyUp(key->key(), key->modifiers());
        }
        if (type == QEvent::FocusIn) {
            // After the edit has taken the focus, so that its own focus handling keeps the
            // selection.
            QTimer::singleShot(0, this, [this] { EditNumEnter(); });
            return false;
        }
        if (type == QEvent::MouseButtonRelease) {
            QTimer::singleShot(0, this, [this] { EditNumMouseUp(); });
            return false;
        }
    } else if (type == QEvent::MouseButtonRelease) {
        if (watched == SpeedButtonUp) {
            SpeedButtonUpMouseUp();
        } else if (watched == SpeedButtonDn) {
            SpeedButtonDnMouseUp();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFrameSlider::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0) {
        FrameMouseWheelUp();
    } else if (delta < 0) {
        FrameMouseWheelDown();
    }
    // Not marked handled: the window may act on it as well.
    event->ignore();
}
