#include "app/Application.h"

#include "platform/MMError.h"

#include <QMessageBox>
#include <QThread>

void PrepareToolkitEnvironment() {
    // Qt's own event dispatcher takes a wake of the main loop for less than the GLib one does.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // A shared-memory picture costs a round trip to the X server before every paint, a second
    // wake of the main thread per frame; the few hundred kilobytes a second the meters change
    // cost less sent through the connection.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    // The windows draw into shared-memory buffers, never through OpenGL; on Wayland the toolkit
    // would still load its EGL integration and with it Mesa and its compiler: 12 MB of the
    // process's own memory for nothing.
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"))
        qputenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "none");
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName("VelmoraPro");
    // The console is a tool window, which the toolkit does not count as a main window: left
    // to it, closing an error box (or the studio clock) would quit the program. The program
    // ends through the console's own close.
    setQuitOnLastWindowClosed(false);
    // Errors of timer ticks and worker threads come to the same box.
    SetApplicationExceptionHandler(&ShowApplicationException);
}

TApplication::~TApplication() {
    SetApplicationExceptionHandler(nullptr);
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    bool handled = false;
    RunAction([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void ShowErrorBox(const QString &message) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), message, QMessageBox::Ok);
    box.exec();
}

void ShowApplicationException(std::exception_ptr error) {
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || !error) return;
    const QString text = ExceptionText(error);
    if (QThread::currentThread() == app->thread())
        ShowErrorBox(text);
    else
        QMetaObject::invokeMethod(
            app, [text] { ShowErrorBox(text); }, Qt::QueuedConnection);
}

QString ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
