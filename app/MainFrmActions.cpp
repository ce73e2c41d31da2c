// The operator's actions that reach beyond the console: starting sibling programs, quitting,
// shutting the PC down, and the end of the process that every close leads to.

#include "app/Forms.h"
#include "app/MainFrm.h"
#include "clock/WatchMain.h"
#include "platform/ProgramLauncher.h"
#include "platform/X11Windows.h"

#include <QAbstractNativeEventFilter>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

#include <xcb/xcb.h>

#include <unistd.h>

namespace {

// While a modal box is up (the error box, the shutdown question) the toolkit drops close
// requests for the window under it; the window manager's close must still end the console.
class TModalCloseFilter : public QAbstractNativeEventFilter {
  public:
    TModalCloseFilter(TMainForm *form, xcb_connection_t *connection)
        : FForm(form), FProtocols(X11InternAtom(connection, "WM_PROTOCOLS")),
          FDeleteWindow(X11InternAtom(connection, "WM_DELETE_WINDOW")) {}

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t" || QGuiApplication::modalWindow() == nullptr) return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto *request = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (request->type != FProtocols || request->format != 32 ||
            request->data.data32[0] != FDeleteWindow || FDeleteWindow == XCB_ATOM_NONE ||
            request->window != FForm->internalWinId())
            return false;
        FForm->FormCloseQuery();
        return true;
    }

  private:
    TMainForm *FForm;
    xcb_atom_t FProtocols;
    xcb_atom_t FDeleteWindow;
};

} // namespace

void TMainForm::InstallModalCloseFilter() {
    // The offscreen platform answers as X11 too, but without a connection.
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->connection() != nullptr) {
        FModalCloseFilter = std::make_unique<TModalCloseFilter>(this, x11->connection());
        qGuiApp->installNativeEventFilter(FModalCloseFilter.get());
    }
}

void TMainForm::LaunchProgram(const QString &tail) {
    // A program that cannot be started is not reported, so neither is a missing launcher.
    if (!FServices.Launcher) return;
    const std::string dir = QDir::currentPath().toStdString();
    FServices.Launcher(BuildCommandLine(dir, tail.toStdString()), dir);
}

void TMainForm::Button1Click() {
    LaunchProgram("/DizaVare.exe");
}

void TMainForm::Button3Click() {
    LaunchProgram("/watch.exe");
}

void TMainForm::Button2Click() {
    CloseWindowsByTitle("Tikkora");
    CloseWindowsByTitle("Phase Ondrel");
    close();
}

void TMainForm::ShutDnBtnClick() {
    QMessageBox box(QMessageBox::Question, windowTitle(), QStringLiteral("電源を落します。よろしいですか？"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName("ShutdownQuestion");
    if (box.exec() != QMessageBox::Ok) return;
    LaunchProgram("/vizaz.exe shutdown");
    Button2Click();
}

void TMainForm::FormCloseQuery() {
    // The clock's timer first, so that no tick of it is left running as the process ends.
    if (WatchFrm != nullptr) WatchFrm->StopMainTimer();
    // The broker hears "offline" from the console itself, not from its will.
    StopNetFeed();
    EndProcess();
}

void TMainForm::EndProcess() {
    _exit(0);
}

void TMainForm::closeEvent(QCloseEvent *event) {
    FormCloseQuery();
    event->ignore();
}
