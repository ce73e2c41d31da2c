#pragma once

// The metering standards' settings: the VU needles' standard, the PEAK bars' standard and how
// long the bars hold a peak, kept by name in their own section of the settings file. A missing,
// empty or unknown name (or alignment) reads as the classic behaviour, so a file from before them, or one
// edited by hand, opens the console as it always was.

#include "platform/IniFile.h"
#include "widgets/MMPeakStandards.h"
#include "widgets/MMStandardScales.h"
#include "widgets/MMVUStandards.h"

#include <QStringList>

struct TMeteringStandards {
    TMMNeedleStandard Needle = nsClassic;
    TMMPeakStandard PeakBars = psClassic;
    TMMPeakHold PeakHold{}; // its time kept to 0.5 .. 10 s
    // The PEAK bars read on the console's dBFS scale, or on the bars' standard's own.
    enum TBarScale { bsDbfs = 0, bsStandard = 1 } Scale = bsDbfs;
    int AlignDbfs = kAlignDefaultDbfs; // the line-up tone's level, kept to -24 .. -12
    bool operator==(const TMeteringStandards &) const = default;
};

// The names the file and the menu use, indexed by the enumerations.
const QStringList &NeedleStandardNames();
const QStringList &PeakStandardNames();
const QStringList &PeakHoldNames();
const QStringList &BarScaleNames();

// The scale the PEAK bars are read on: a K-System meter's own always; the standard's own under
// "Standard" (Classic and Digital have none but dBFS), else dBFS.
TMMStandardScale BarScale(const TMeteringStandards &s);

// [Standards] Needle, PeakBars, PeakHold, Scale (names), PeakHoldMs and AlignDbfs (integers,
// kept to range; one that does not convert gives 2000 and -18).
void ReadStandards(const TIniFile &ini, TMeteringStandards &s);
// In that order; a failed write throws as TIniFile's writes do, and the keys after it are not
// written.
void WriteStandards(TIniFile &ini, const TMeteringStandards &s);
