#pragma once

#include <QImage>

// A picture shown transparent: every pixel within `tolerance` (on each of red, green and blue)
// of the colour of its bottom-left pixel is made clear. The tolerance absorbs the small
// colour errors a JPEG leaves around edges. Any thread.
QImage TransparentPicture(const QImage &picture, int tolerance);

// The tolerance the clock keys its dot pictures with.
inline constexpr int kDotKeyTolerance = 24;
