#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <utility>

// The console's application object. An error that leaves an operator's handler ends here:
// its message is shown in the error box and the program goes on.
class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;
    bool notify(QObject *receiver, QEvent *event) override;
};

// Chooses what of Qt the console's wakes rest on, before the application object is made; a
// variable the user set wins.
void PrepareToolkitEnvironment();

// The error box: the message as it stands, one OK button. Blocks until answered.
void ShowErrorBox(const QString &message);

// The text the error box shows for an exception.
QString ExceptionText(std::exception_ptr error);
// ... and for the exception being handled (call inside a catch).
inline QString CurrentExceptionText() {
    return ExceptionText(std::current_exception());
}

// Shows an error that reached the application from any thread: at once on the GUI thread,
// otherwise posted to it.
void ShowApplicationException(std::exception_ptr error);

// Runs an operator's handler; an error it raises goes to the error box. Returns whether
// the handler finished.
template <class F> bool RunAction(F &&handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        ShowErrorBox(CurrentExceptionText());
        return false;
    }
}

// Runs a periodic handler, which must not interrupt the operator with a box every tick:
// its errors are dropped. Returns whether the handler finished.
template <class F> bool RunQuietly(F &&handler) noexcept {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        return false;
    }
}
