#pragma once

// The dead-air alarm's command: started directly (no shell) with the event's time, kind and
// length in its environment, in the settings folder when it exists.
//
// Thread contract: main thread only.

#include "app/AidSettings.h"
#include "audio/MMEventTap.h"

#include <QString>

// Empty when the command started or none is set; otherwise the error text to report.
QString StartAlarmCommand(const TAidSettings &settings, const QString &settingsDir,
                          const TStampedEvent &event);
