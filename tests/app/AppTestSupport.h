#pragma once

#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "common/PumpEventsUntil.h"
#include "platform/ProgramLauncher.h"
#include "platform/SimWaveIn.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <thread>
#include <xcb/xcb.h>

// Runs `action`, which is expected to open a modal message box; answers the box with
// `answer` and returns the box's text (empty when no box came up within 5 seconds).
inline QString AnswerMessageBox(const std::function<void()> &action,
                                QMessageBox::StandardButton answer = QMessageBox::Ok) {
    QString text;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            if (QAbstractButton *b = box->button(answer))
                b->click();
            else
                box->reject();
            poll.stop();
        } else if (waited.elapsed() > 5000) {
            poll.stop();
        }
    });
    poll.start(10);
    action();
    poll.stop();
    return text;
}

// A left click in the middle of a control, as the mouse gives it.
inline void ClickCentre(QWidget *w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

// Changes the working directory for the life of the object.
class TWorkingDir {
  public:
    explicit TWorkingDir(const QString &dir) : FOld(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~TWorkingDir() { QDir::setCurrent(FOld); }

  private:
    QString FOld;
};

// Waits, processing events, until `done` holds or the time runs out.
inline bool WaitFor(const std::function<bool()> &done, int milliseconds = 10000) {
    return PumpEventsUntil(done, milliseconds);
}

// A connection to the test's X display. An X server whose last client has left resets
// itself and refuses connections for a moment, so try for a while.
inline xcb_connection_t *ConnectX() {
    xcb_connection_t *c = nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c) == 0) return c;
        xcb_disconnect(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return xcb_connect(nullptr, nullptr);
}

// A settings folder of the test's own, so no settings file beside the test program is read or
// written. Empty unless the test puts a file there.
class TTestSettings {
  public:
    TTestSettings() = default;
    explicit TTestSettings(const QByteArray &contents) { Put(contents); }
    QString Dir() const { return FDir.path(); }
    QString File() const { return SettingsFilePath(FDir.path()); }
    void Put(const QByteArray &contents) const {
        QFile f(File());
        if (f.open(QIODevice::WriteOnly)) f.write(contents);
    }

  private:
    QTemporaryDir FDir;
};

// The console with its process end recorded instead of carried out.
class TTestForm : public TMainForm {
  public:
    explicit TTestForm(const TFormServices &services) : TMainForm(services) {}
    int Ended = 0;

  protected:
    void EndProcess() override { ++Ended; }
};

// What TSimConsole runs on; a base of it, so it is built before the console and goes after.
struct TSimServices {
    TSimWaveInDriver FSimDriver;
    TTestSettings FSimSettings;
};

// The console on simulated devices (silence first) and an empty settings folder of its own,
// starting programs for real.
class TSimConsole : private TSimServices, public TTestForm {
  public:
    TSimConsole() : TTestForm({FSimDriver, FSimSettings.Dir(), &StartProgram}) {}
    TSimWaveInDriver &SimDriver() { return FSimDriver; }
    const TTestSettings &SettingsFolder() const { return FSimSettings; }
};

// The console on simulated devices beside its meter panel, on a settings file of the test's.
struct TPanelConsole {
    explicit TPanelConsole(const QByteArray &file)
        : Folder(file), Form({Driver, Folder.Dir(), &StartProgram}) {}
    ~TPanelConsole() {
        Form.MMWaveIn1->Stop();
        Form.MMWaveIn1->Close();
    }
    TMeterPanel Meter; // registered before the console looks for it
    bool Registered = (RegisterForm(&Meter), true);
    TSimWaveInDriver Driver;
    TTestSettings Folder;
    TTestForm Form;
};
