#include "app/LoudnessLog.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::time_t Local(int day, int hour, int minute) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), Qt::LocalTime).toSecsSinceEpoch();
}

QByteArray Contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

// A file a day, its header once, unmeasured values empty; a folder that cannot be made is
// named in the error and nothing is written.
TEST(LoudnessLog, ALineAMinuteInAFileADay) {
    QTemporaryDir dir;
    const TLoudnessLog log(dir.filePath("log"));
    log.Write({Local(8, 23, 59), -23.04, 6.26, -19.8, -2.4, true});
    log.Write({Local(9, 0, 0), kNoLoudness, 0, kNoLoudness, kNoLoudness, false});
    log.Write({Local(9, 0, 1), -23.5, 6.0, -20.0, -3.0, true});
    EXPECT_EQ(Contents(dir.filePath("log/loudness-2026-12-08.csv")),
              "time,integrated_lufs,range_lu,max_short_term_lufs,max_true_peak_dbtp,paused\n"
              "2026-12-08 23:59:00,-23.0,6.3,-19.8,-2.4,0\n");
    EXPECT_EQ(Contents(dir.filePath("log/loudness-2026-12-09.csv")),
              "time,integrated_lufs,range_lu,max_short_term_lufs,max_true_peak_dbtp,paused\n"
              "2026-12-09 00:00:00,,0.0,,,1\n"
              "2026-12-09 00:01:00,-23.5,6.0,-20.0,-3.0,0\n");

    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const TLoudnessLog blocked(dir.filePath("blocked/log"));
    try {
        blocked.Write({Local(8, 12, 0), -23, 0, -23, -23, true});
        FAIL() << "no error";
    } catch (const EMMLoudnessLogError &e) {
        EXPECT_NE(std::string(e.what()).find(dir.filePath("blocked/log").toStdString()), std::string::npos)
            << e.what();
    }
}
