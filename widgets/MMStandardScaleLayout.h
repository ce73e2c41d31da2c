#pragma once

// A standard's scale strip beside a vertical PEAK bar, without any toolkit: each mark of the
// scale (MMStandardScales.h) as a tick at the row where the bar's top stands when it reads
// that mark's level, and its text centred on the tick. Rows come from the bar's own spot
// geometry, so a mark and the bar can never drift apart by a rounding.

#include "widgets/MMLevelLaws.h"
#include "widgets/MMScaleLaws.h"
#include "widgets/MMStandardScales.h"

// The strip of settings.Width x settings.Height; the bar's inner rectangle starts barOffset
// rows below the strip's top. Ticks follow settings.ScalePos and Scale.Size (4 pixels when
// the strip's ticks are hidden); texts that would overlap the one above are left out, their
// ticks kept. Marks off the bar are left out. Colours: Scale1Color up to the scale's low
// zone, Scale2Color up to its high one, Scale3Color above. A horizontal strip gets no marks.
TMMLevelScaleLayout StandardScaleLayout(const TMMStandardScale &scale, const TMMLevelScaleSettings &settings,
                                        const TMMScaleMetrics &metrics, const TMMSpotGeometry &bar,
                                        int barOffset);

// The bar's spot position for a mark's level (0 or past BarSpots when off the bar).
int MarkSpot(const TMMStandardScale &scale, double dbfs, int barSpots);

// A level line across a vertical strip at the row where the bar's top stands when it reads
// `dbfs` (the loudness ceiling on true-peak bars), broken where a text sits on that row. Left
// out when the level is off the bar.
void AddLevelLine(TMMLevelScaleLayout &layout, const TMMStandardScale &scale, double dbfs,
                  const TMMScaleMetrics &metrics, const TMMSpotGeometry &bar, int barOffset, TColor color);
