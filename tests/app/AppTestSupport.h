#pragma once

#include "common/PumpEventsUntil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
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
