#include "audio/MMWaveInWindow.h"

#include "audio/MMWaveIn.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace {
const QEvent::Type WaveInEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
} // namespace

void TWaveInWindow::Post(unsigned message, HWAVEIN handle, PWaveHdr hdr, std::exception_ptr error) {
    std::lock_guard lock(FLock);
    FMessages.push_back({message, handle, hdr, std::move(error)});
    // Made under the lock the receiver takes before it looks at an event.
    QCoreApplication::postEvent(this, new QEvent(WaveInEventType));
}

void TWaveInWindow::RunPosted() {
    for (;;) {
        TMessage m;
        {
            std::lock_guard lock(FLock);
            if (FMessages.empty()) return;
            m = std::move(FMessages.front());
            FMessages.pop_front();
        }
        Run(m);
    }
}

bool TWaveInWindow::OnCallingThread() const {
    return thread() == QThread::currentThread();
}

bool TWaveInWindow::event(QEvent *e) {
    bool wake;
    {
        std::lock_guard lock(FLock);
        wake = e->type() == WaveInEventType;
    }
    if (!wake) return QObject::event(e);
    RunPosted();
    return true;
}

void TWaveInWindow::Run(TMessage &m) {
    if (m.Message == MM_THREAD_FAILED) {
        if (OnThreadFailed) OnThreadFailed(m.Handle, std::move(m.Error));
        return;
    }
    try {
        FOwner->WindowMessage(m.Message, m.Handle, m.Hdr);
    } catch (...) {
        // As the driver callback does: close the device and tell the operator.
        FOwner->Close();
        HandleApplicationException(std::current_exception());
    }
}
