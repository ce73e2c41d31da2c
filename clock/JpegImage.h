#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG pictures decoded by libjpeg. Any thread; nothing is shared between calls.

// The picture in `data` as 24-bit RGB (grey pictures come out grey in RGB). A null image
// when the data is not a whole, readable JPEG; `error` then says why.
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);

// The JPEG file or resource at `path` (":/..." for a resource), decoded as above.
QImage ReadJpeg(const QString &path, QString *error = nullptr);
