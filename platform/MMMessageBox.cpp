#include "platform/MMMessageBox.h"

#include "core/MainThread.h"
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <mutex>

namespace {

std::mutex HookLock;
TMMMessageBoxHook &Hook() {
    static TMMMessageBoxHook hook;
    return hook;
}

} // namespace

TMMMessageBoxHook SetMessageBoxHook(TMMMessageBoxHook NewHook) {
    std::lock_guard<std::mutex> lock(HookLock);
    TMMMessageBoxHook old = std::move(Hook());
    Hook() = std::move(NewHook);
    return old;
}

void MMMessageBox(const std::string &Text, const std::string &Caption) {
    TMMMessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(HookLock);
        hook = Hook();
    }
    if (hook) {
        hook(Text, Caption);
        return;
    }
    // A box off the main thread would take the toolkit down; a release build prints the text.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr || !CheckMainThread()) {
        std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(Caption), QString::fromStdString(Text),
                    QMessageBox::Ok);
    box.exec();
}
