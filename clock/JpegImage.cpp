#include "clock/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
// to the decoder's set-up point with the message kept.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Return;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    auto *error = reinterpret_cast<TJpegError *>(info->err);
    info->err->format_message(info, error->Message);
    std::longjmp(error->Return, 1);
}

// Warnings (a truncated stream among them) are errors here: a part-drawn picture is no picture.
void TreatWarningsAsErrors(j_common_ptr info, int level) {
    if (level < 0) JumpBack(info);
}

// The decoding proper. Kept free of objects with destructors, which the jump would skip.
// Returns the message of a failure, or null.
const char *Decode(const unsigned char *data, unsigned long size, QImage *image, TJpegError *error) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&error->Manager);
    error->Manager.error_exit = JumpBack;
    error->Manager.emit_message = TreatWarningsAsErrors;
    if (setjmp(error->Return) != 0) {
        jpeg_destroy_decompress(&info);
        return error->Message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    // Before the decoder's own buffers, which also grow with the picture, are taken.
    if (static_cast<long long>(info.image_width) * info.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&info);
        return "picture too large";
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return "picture too large";
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return nullptr;
}

} // namespace

QImage DecodeJpeg(const QByteArray &data, QString *error) {
    if (data.isEmpty()) {
        if (error) *error = "no data";
        return {};
    }
    QImage image;
    TJpegError jpegError{};
    const char *failure = Decode(reinterpret_cast<const unsigned char *>(data.constData()),
                                 static_cast<unsigned long>(data.size()), &image, &jpegError);
    if (failure == nullptr) return image;
    if (error) *error = QString::fromLocal8Bit(failure);
    return {};
}

QImage ReadJpeg(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QString("%1: %2").arg(path, file.errorString());
        return {};
    }
    QString why;
    QImage image = DecodeJpeg(file.readAll(), &why);
    if (image.isNull() && error) *error = QString("%1: %2").arg(path, why);
    return image;
}
