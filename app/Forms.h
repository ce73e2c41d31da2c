#pragma once

#include "app/FormServices.h"

#include <QList>
#include <QWidget>

class TMainForm;
class TMeterPanel;
class TWatchFrm;

// The application's windows, each one instance for the life of the process.
extern TMainForm *MainForm;
extern TMeterPanel *MeterPanel;
extern TWatchFrm *WatchFrm;

// Creates the three windows in their order: the console (on the given services), the meter
// panel, the clock; the last two hidden. Each is registered as it is created.
void CreateForms(const TFormServices &services);

// The registry of the application's windows in creation order. A window destroyed
// elsewhere simply drops out.
void RegisterForm(QWidget *form);
QList<QWidget *> ApplicationForms();
// How many windows were ever registered: a search over the registry holds while it stays.
int FormsRegistered();
