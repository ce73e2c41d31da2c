#include "app/Forms.h"

#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "clock/WatchMain.h"

#include <QPointer>

TMainForm *MainForm = nullptr;
TMeterPanel *MeterPanel = nullptr;
TWatchFrm *WatchFrm = nullptr;

namespace {

QList<QPointer<QWidget>> &Registry() {
    static QList<QPointer<QWidget>> forms;
    return forms;
}

int gRegistered = 0;

} // namespace

void RegisterForm(QWidget *form) {
    if (form == nullptr || ApplicationForms().contains(form)) return;
    Registry().append(form);
    ++gRegistered;
}

int FormsRegistered() {
    return gRegistered;
}

QList<QWidget *> ApplicationForms() {
    QList<QWidget *> live;
    Registry().removeIf([](const QPointer<QWidget> &f) { return f.isNull(); });
    for (const QPointer<QWidget> &f : Registry())
        live.append(f.data());
    return live;
}

void CreateForms(const TFormServices &services) {
    MainForm = new TMainForm(services);
    RegisterForm(MainForm);
    MeterPanel = new TMeterPanel;
    RegisterForm(MeterPanel);
    MainForm->ConnectPeakMeters();
    WatchFrm = new TWatchFrm;
    RegisterForm(WatchFrm);
}
