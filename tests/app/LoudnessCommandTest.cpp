#include "app/LoudnessCommand.h"
#include "app/CommandLine.h"
#include "common/ToneProgramme.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <string>

namespace {

// A WAV file written through libsndfile: a stereo programme in the given sample format.
void WriteWav(const QString &path, int rate, int format, std::initializer_list<TToneSegment> segments) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE *file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    TToneProgramme(segments, 1000, 0, rate).Play([&](const float *f, std::size_t n) {
        sf_writef_float(file, f, static_cast<sf_count_t>(n));
    });
    sf_close(file);
}

QByteArray Digest(const QString &path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};

TRun RunCommand(const QStringList &files, bool json) {
    char *out = nullptr, *err = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE *o = open_memstream(&out, &outSize);
    std::FILE *e = open_memstream(&err, &errSize);
    const int status = RunLoudnessCommand(files, json, o, e);
    std::fclose(o);
    std::fclose(e);
    TRun run{status, out, err};
    std::free(out);
    std::free(err);
    return run;
}

class LoudnessCommand : public ::testing::Test {
  protected:
    QString Path(const char *name) const { return Dir.filePath(name); }
    QTemporaryDir Dir;
};

} // namespace

// The files that cannot be measured are named and the others still measured; the status says
// that one failed, and the files are left as they were.
TEST_F(LoudnessCommand, BadFilesAreNamedAndTheRestMeasured) {
    QFile text(Path("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("These are the producer's notes, not audio.\n");
    text.close();
    WriteWav(Path("empty.wav"), 48000, SF_FORMAT_PCM_16, {});
    WriteWav(Path("hires.wav"), 96000, SF_FORMAT_PCM_24, {{-23, 20}});
    const QByteArray before = Digest(Path("hires.wav"));

    const TRun run =
        RunCommand({Path("missing.wav"), Path("notes.wav"), Path("empty.wav"), Path("hires.wav")}, false);
    EXPECT_EQ(run.Status, 1);
    const std::string missing = Path("missing.wav").toStdString(), notes = Path("notes.wav").toStdString();
    EXPECT_EQ(run.Err, "VelmoraPro: " + missing + ": No such file or directory\nVelmoraPro: " + notes +
                           ": not an audio file that can be read (Format not recognised.)\n");
    // An empty file holds no programme to measure; a 24-bit 96 kHz one is measured at its rate.
    const auto lines = QString::fromStdString(run.Out).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "I -inf LUFS  LRA 0.0 LU  TP -inf dBTP  M -inf LUFS  S -inf LUFS  T 0.0 s  " +
                            Path("empty.wav"));
    double i, lra, tp, m, st, t;
    char file[256];
    ASSERT_EQ(std::sscanf(lines[1].toUtf8().constData(),
                          "I %lf LUFS  LRA %lf LU  TP %lf dBTP  M %lf LUFS  S %lf LUFS  T %lf s  %255s", &i,
                          &lra, &tp, &m, &st, &t, file),
              7)
        << lines[1].toStdString();
    EXPECT_NEAR(i, -23.0, 0.11);
    EXPECT_EQ(lra, 0.0);
    EXPECT_NEAR(tp, -23.0, 0.2);
    EXPECT_NEAR(m, -23.0, 0.11);
    EXPECT_NEAR(st, -23.0, 0.11);
    EXPECT_EQ(t, 20.0);
    EXPECT_EQ(file, Path("hires.wav").toStdString());
    EXPECT_EQ(Digest(Path("hires.wav")), before);
    EXPECT_EQ(RunCommand({Path("hires.wav")}, false).Status, 0);
}

TEST_F(LoudnessCommand, JsonHasAnObjectForEveryFileAndNullWhereNothingWasMeasured) {
    WriteWav(Path("tone.wav"), 48000, SF_FORMAT_FLOAT, {{-26, 20}, {-20, 20.1}, {-26, 20}});
    WriteWav(Path("empty.wav"), 44100, SF_FORMAT_PCM_16, {});
    const TRun run = RunCommand({Path("tone.wav"), Dir.path(), Path("empty.wav")}, true);
    EXPECT_EQ(run.Status, 1);
    const auto lines = QString::fromStdString(run.Out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    const auto object = [&](int n) { return QJsonDocument::fromJson(lines[n].toUtf8()).object(); };
    const QJsonObject tone = object(0), folder = object(1), empty = object(2);
    EXPECT_EQ(tone["file"].toString(), Path("tone.wav"));
    EXPECT_NEAR(tone["integrated"].toDouble(), -23.0, 0.11);
    EXPECT_NEAR(tone["range"].toDouble(), 6.0, 1.0);
    EXPECT_NEAR(tone["true_peak"].toDouble(), -20.0, 0.2);
    EXPECT_NEAR(tone["max_short_term"].toDouble(), -20.0, 0.11);
    EXPECT_EQ(tone["seconds"].toDouble(), 60.1);
    EXPECT_EQ(tone["sample_rate"].toInt(), 48000);
    EXPECT_EQ(folder["file"].toString(), Dir.path());
    EXPECT_EQ(folder["error"].toString(), Dir.path() + ": is a folder, not an audio file");
    EXPECT_TRUE(empty["integrated"].isNull());
    EXPECT_TRUE(empty["max_momentary"].isNull());
    EXPECT_EQ(empty["channels"].toInt(), 2);
    EXPECT_EQ(empty["sample_rate"].toInt(), 44100);
}

TEST(LoudnessOptions, FilesOnlyWithLoudnessJsonOnlyWithItAndALogFolder) {
    const auto read = [](const QStringList &args) {
        QCommandLineParser parser;
        DeclareOptions(parser);
        return ReadOptions(parser, QStringList{"VelmoraPro"} + args);
    };
    const TStartOptions files = read({"--loudness", "a.wav", "--json", "b.flac"});
    EXPECT_TRUE(files.Error.isEmpty()) << files.Error.toStdString();
    EXPECT_TRUE(files.Loudness && files.Json);
    EXPECT_EQ(files.LoudnessFiles, (QStringList{"a.wav", "b.flac"}));
    EXPECT_EQ(read({"--loudness", "--", "-odd.wav"}).LoudnessFiles, QStringList{"-odd.wav"});
    EXPECT_FALSE(read({"--loudness"}).Error.isEmpty());
    EXPECT_FALSE(read({"--json"}).Error.isEmpty());
    EXPECT_FALSE(read({"a.wav"}).Error.isEmpty());
    const TStartOptions logged = read({"--log-dir", "/srv/log"});
    EXPECT_TRUE(logged.Error.isEmpty());
    EXPECT_EQ(logged.LogDir, "/srv/log");
    EXPECT_FALSE(logged.Loudness);
}
