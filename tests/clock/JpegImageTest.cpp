#include "clock/JpegImage.h"
#include "clock/TransparentPicture.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Outside any namespace: the resource's start-up function is a global one.
static void InitClockResources() {
    Q_INIT_RESOURCE(clock);
}

namespace {

QByteArray Resource(const QString &path) {
    InitClockResources();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Close to (r, g, b), within what the compression leaves.
::testing::AssertionResult Near(QRgb pixel, int r, int g, int b) {
    const int tolerance = 40;
    if (std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
        std::abs(qBlue(pixel) - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel " << qRed(pixel) << "," << qGreen(pixel) << ","
                                         << qBlue(pixel) << " is not near " << r << "," << g << "," << b;
}

} // namespace

TEST(JpegImageTest, DotPicturesDecodeToTheirColoursOnTheClockGrey) {
    struct Dot {
        const char *Name;
        int R, G, B;
    };
    for (const Dot &dot : {Dot{"Geo_small_white", 242, 242, 242}, Dot{"Geo_small_blue", 58, 92, 255},
                           Dot{"Geo_small_yellow", 255, 210, 31}, Dot{"Geo_small_red", 255, 42, 42}}) {
        SCOPED_TRACE(dot.Name);
        QString error;
        const QImage image = DecodeJpeg(Resource(QString(":/clock/%1.jpg").arg(dot.Name)), &error);
        ASSERT_FALSE(image.isNull()) << error.toStdString();
        EXPECT_EQ(image.size(), QSize(25, 17));
        EXPECT_TRUE(Near(image.pixel(5, 5), dot.R, dot.G, dot.B)); // the lamp, around (4, 4)
        EXPECT_TRUE(Near(image.pixel(20, 12), 0x4a, 0x4d, 0x4a));  // the ground
    }
}

TEST(JpegImageTest, DamagedOrMissingPicturesAreRefusedWithAReason) {
    const QByteArray whole = Resource(":/clock/Geo_small_red.jpg");
    ASSERT_FALSE(whole.isEmpty());
    for (const QByteArray &bad :
         {QByteArray(), QByteArray("not a picture at all"), whole.left(whole.size() / 2)}) {
        QString error;
        EXPECT_TRUE(DecodeJpeg(bad, &error).isNull()) << bad.size();
        EXPECT_FALSE(error.isEmpty()) << bad.size();
    }
    QString error;
    EXPECT_TRUE(ReadJpeg("/nonexistent/dot.jpg", &error).isNull());
    EXPECT_TRUE(error.contains("/nonexistent/dot.jpg")) << error.toStdString();

    QTemporaryDir dir;
    QFile file(dir.filePath("cut.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(whole.left(whole.size() - 40));
    file.close();
    EXPECT_TRUE(ReadJpeg(file.fileName(), &error).isNull());
    EXPECT_TRUE(error.startsWith(file.fileName())) << error.toStdString();
    EXPECT_FALSE(ReadJpeg(":/clock/Geo_small_red.jpg").isNull());
}

// A header may claim up to 65500 x 65500 pixels on a few hundred bytes; such a picture is
// refused before its memory is taken, while the same bytes at the picture's true size decode.
TEST(JpegImageTest, APictureLargerThanTheLimitIsRefusedFromItsHeader) {
    const QByteArray whole = Resource(":/clock/Geo_small_red.jpg");
    const qsizetype frame = whole.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    const auto sized = [&](int width, int height) {
        QByteArray data = whole;
        data[frame + 5] = static_cast<char>(height >> 8);
        data[frame + 6] = static_cast<char>(height);
        data[frame + 7] = static_cast<char>(width >> 8);
        data[frame + 8] = static_cast<char>(width);
        return data;
    };
    ASSERT_FALSE(DecodeJpeg(sized(25, 17)).isNull());
    QString error;
    EXPECT_TRUE(DecodeJpeg(sized(64281, 16623), &error).isNull());
    EXPECT_EQ(error, "picture too large");
    EXPECT_TRUE(DecodeJpeg(sized(4097, 4096), &error).isNull());
    EXPECT_EQ(error, "picture too large");
}

TEST(JpegImageTest, TransparentPictureClearsTheGroundAndKeepsTheLamp) {
    const QImage dot = TransparentPicture(ReadJpeg(":/clock/Geo_small_blue.jpg"), 24);
    ASSERT_FALSE(dot.isNull());
    EXPECT_EQ(qAlpha(dot.pixel(0, 16)), 0);
    EXPECT_EQ(qAlpha(dot.pixel(20, 12)), 0);
    EXPECT_EQ(qAlpha(dot.pixel(4, 4)), 255);
    int opaque = 0;
    for (int y = 0; y < dot.height(); ++y)
        for (int x = 0; x < dot.width(); ++x)
            opaque += qAlpha(dot.pixel(x, y)) != 0;
    // The lamp, 9 pixels across, and no stray specks of the ground around it.
    EXPECT_GT(opaque, 50);
    EXPECT_LT(opaque, 81);
    EXPECT_TRUE(TransparentPicture(QImage(), 24).isNull());
}
