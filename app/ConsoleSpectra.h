#pragma once

// The console's three spectrum displays as the console sets them up: the phase display,
// the large analyser of the "SPECTRUM" page and the simple analyser of the small window.
// The console, the tests that draw its analysers and the benchmarks share them.

#include "widgets/MMSpectrum.h"

#include <QRect>

void SetUpPhaseMeter(TMMSpectrum &phase, const QRect &geometry);
void SetUpLargeSpectrum(TMMSpectrum &spectrum, const QRect &geometry);
// Kind, NumPeaks and Bar1Color are the LINE SPA setting's, set apart.
void SetUpSmallSpectrum(TMMSpectrum &spectrum, const QRect &geometry);
