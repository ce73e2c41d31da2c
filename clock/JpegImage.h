#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG pictures decoded by libjpeg. Any thread; nothing is shared between calls.

// The most pixels a picture may have: its header alone must not make the decoder take
// gigabytes. The clock's pictures are a few hundred pixels.
inline constexpr long long kMaxJpegPixels = 4096LL * 4096;

// The picture in `data` as 24-bit RGB (grey pictures come out grey in RGB). A null image
// when the data is not a whole, readable JPEG of at most kMaxJpegPixels; `error` then says why.
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);

// The JPEG file or resource at `path` (":/..." for a resource), decoded as above.
QImage ReadJpeg(const QString &path, QString *error = nullptr);
