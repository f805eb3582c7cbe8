// A way into the real program for its end-to-end test, kept out of the program: a generic
// plugin that the program's toolkit loads when QT_QPA_GENERIC_PLUGINS names it
// ("qmrdrive:<script file>"). On the GUI thread it plays the script's operator steps, one line
// at a time, each waited for (at most 30 s), and writes what it saw to "<script>.report":
//
//   window CLASS    a visible window of that class; reports the visible windows, the number
//                   of instrument windows that exist and the window's position
//   click NAME      clicks the button NAME of the shown instrument window once it is shown
//                   and enabled
//   visible NAME    the control NAME of the shown window is visible
//   ready           the shown window's REMOTE lamp lit and its BUSY lamp dark again, after
//                   it was seen lit since the last click (the work the click started is done)
//   text NAME TEXT  the label NAME shows TEXT
//   move X Y        moves the shown window
//   key FRAME/NAME  posts the Up arrow key to the control NAME inside FRAME of the shown window
//   press NAME      posts a left-button press and release to the button NAME of the shown
//                   window once it is shown and enabled
//   box             reports "box TEXT" of the message box on screen and answers it
//   done            reports "done"
//   colour NAME RGB the label NAME is filled with RGB (#RRGGBB)
//   hold FILE       reports "hold FILE", then waits until FILE exists (the test acts meanwhile)
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGenericPlugin>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {

constexpr int kStepTimeoutMs = 30000;
const QColor kLit(0xFF, 0xFF, 0x00);

class Driver : public QObject {
public:
    explicit Driver(const QString& script) : report_(script + QStringLiteral(".report"))
    {
        QFile file(script);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            steps_ = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        report_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
        connect(&timer_, &QTimer::timeout, this, &Driver::Tick);
        timer_.start(50);
        clock_.start();
    }

private:
    void Write(const QString& line)
    {
        report_.write((line + QLatin1Char('\n')).toUtf8());
        report_.flush();
    }

    // The one instrument window on screen, when there is exactly one.
    static QWidget* Shown()
    {
        QWidget* shown = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->inherits("TFormAppQmr")) {
                if (shown != nullptr) {
                    return nullptr;
                }
                shown = widget;
            }
        }
        return shown;
    }

    static bool Lit(QWidget* window, const QString& name)
    {
        auto* label = window->findChild<QLabel*>(name);
        return label != nullptr && label->palette().color(QPalette::Window) == kLit;
    }

    bool Try(const QStringList& words)
    {
        const QString& verb = words[0];
        QWidget* window = Shown();
        if (verb == QLatin1String("hold")) {
            if (!std::exchange(held_, true)) {
                Write(words.join(QLatin1Char(' ')));
            }
            held_ = !QFileInfo::exists(words.value(1));
            return !held_;
        }
        if (verb == QLatin1String("done")) {
            Write(QStringLiteral("done"));
            return true;
        }
        if (verb == QLatin1String("box")) {
            // Any box, also one shown before or after the program's windows.
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return false;
            }
            Write(QStringLiteral("box ") + box->text());
            box->accept();
            return true;
        }
        if (window == nullptr || QApplication::activeModalWidget() != nullptr) {
            return false;
        }
        if (verb == QLatin1String("window")) {
            if (QString::fromLatin1(window->metaObject()->className()) != words.value(1)) {
                return false;
            }
            QStringList visible;
            int kept = 0;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                kept += widget->inherits("TFormAppQmr") ? 1 : 0;
                if (widget->isVisible()) {
                    visible << QString::fromLatin1(widget->metaObject()->className());
                }
            }
            Write(QStringLiteral("window %1 visible=%2 kept=%3 at=%4,%5")
                      .arg(words.value(1), visible.join(QLatin1Char(',')))
                      .arg(kept)
                      .arg(window->x())
                      .arg(window->y()));
            return true;
        }
        if (verb == QLatin1String("click")) {
            auto* button = window->findChild<QAbstractButton*>(words.value(1));
            if (button == nullptr || !button->isVisible() || !button->isEnabled()) {
                return false;
            }
            sawBusy_ = false;
            button->click();
            return true;
        }
        if (verb == QLatin1String("press")) {
            auto* button = window->findChild<QAbstractButton*>(words.value(1));
            if (button == nullptr || !button->isVisible() || !button->isEnabled()) {
                return false;
            }
            // Posted, as the key: what the press starts runs outside the driver's tick.
            const QPointF at(2, 2);
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
                QApplication::postEvent(
                    button, new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier));
            }
            return true;
        }
        if (verb == QLatin1String("visible")) {
            auto* control = window->findChild<QWidget*>(words.value(1));
            return control != nullptr && control->isVisible();
        }
        if (verb == QLatin1String("ready")) {
            return sawBusy_ && Lit(window, QStringLiteral("LabelRemote")) && !Lit(window, QStringLiteral("LabelBusy"));
        }
        if (verb == QLatin1String("text")) {
            auto* label = window->findChild<QLabel*>(words.value(1));
            return label != nullptr && label->text() == words.mid(2).join(QLatin1Char(' '));
        }
        if (verb == QLatin1String("key")) {
            const QStringList path = words.value(1).split(QLatin1Char('/'));
            auto* frame = window->findChild<QWidget*>(path.value(0));
            auto* control = frame != nullptr ? frame->findChild<QWidget*>(path.value(1)) : nullptr;
            if (control == nullptr || !control->isEnabled()) {
                return false;
            }
            // Posted: what the key starts runs after this step, outside the driver's tick.
            QApplication::postEvent(control, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
            QApplication::postEvent(control, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier));
            return true;
        }
        if (verb == QLatin1String("move")) {
            window->move(words.value(1).toInt(), words.value(2).toInt());
            return true;
        }
        if (verb == QLatin1String("colour")) {
            auto* label = window->findChild<QLabel*>(words.value(1));
            return label != nullptr && label->palette().color(QPalette::Window) == QColor(words.value(2));
        }
        Write(QStringLiteral("unknown ") + verb);
        return false;
    }

    void Tick()
    {
        if (next_ >= steps_.size()) {
            timer_.stop();
            return;
        }
        if (QWidget* window = Shown(); window != nullptr && Lit(window, QStringLiteral("LabelBusy"))) {
            sawBusy_ = true;
        }
        const QString line = steps_[next_];
        if (Try(line.split(QLatin1Char(' ')))) {
            ++next_;
            clock_.restart();
        } else if (clock_.elapsed() > kStepTimeoutMs) {
            Write(QStringLiteral("timeout ") + line);
            timer_.stop();
        }
    }

    QFile report_;
    QStringList steps_;
    qsizetype next_ = 0;
    bool sawBusy_ = false;
    bool held_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace

class QmrDrivePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "qmrdrive.json")

public:
    QObject* create(const QString& key, const QString& parameters) override
    {
        if (key.compare(QLatin1String("qmrdrive"), Qt::CaseInsensitive) != 0) {
            return nullptr;
        }
        return new Driver(parameters);
    }
};

#include "QmrDrive.moc"
