#include "app/Settings.h"
#include "common/ScopedReadOnly.h"
#include "platform/WaveInDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

namespace {

// Every field, so a failure names the one that differs.
void ExpectSettings(const TSettings &e, const TSettings &a) {
    EXPECT_EQ(e.InputDevNo, a.InputDevNo);
    EXPECT_EQ(e.InputDevName, a.InputDevName);
    EXPECT_EQ(e.VURefLevel, a.VURefLevel);
    EXPECT_EQ(e.BackgroundNo, a.BackgroundNo);
    EXPECT_EQ(e.VUPos, a.VUPos);
    EXPECT_EQ(e.PeakLevel1, a.PeakLevel1);
    EXPECT_EQ(e.PeakLevel2, a.PeakLevel2);
    EXPECT_EQ(e.PeakLevel3, a.PeakLevel3);
    EXPECT_EQ(e.ShowRedLine, a.ShowRedLine);
    EXPECT_EQ(e.RedLinePos, a.RedLinePos);
    EXPECT_EQ(e.ShowGraph, a.ShowGraph);
    EXPECT_EQ(e.LineSpa, a.LineSpa);
    EXPECT_EQ(e.JackConnect, a.JackConnect);
}

TSettings Unusual() {
    return TSettings{.InputDevNo = 3,
                     .InputDevName = "Desk B",
                     .VURefLevel = -12,
                     .BackgroundNo = 3,
                     .VUPos = 2,
                     .PeakLevel1 = -1,
                     .PeakLevel2 = -2,
                     .PeakLevel3 = -3,
                     .ShowRedLine = true,
                     .RedLinePos = 80,
                     .ShowGraph = true,
                     .LineSpa = true,
                     .JackConnect = false};
}

// The shipped defaults name no device: like an empty folder, they choose the first.
const QByteArray DefaultFile = "[SoundCard]\nInputDevNo=0\n[VU]\nRefLevel=-20\nBackgroundNo=1\nVUPos=0\n"
                               "[Peak]\nLevel1=-5\nLevel2=-10\nLevel3=-20\n"
                               "[GRAPH]\nShowRedLine=0\nRedLinePos=49\nShowGraph=0\nLineSpa=0\n";
// Saved, the standards follow in their own section.
const QByteArray ClassicStandards = "[Standards]\nNeedle=Classic\nPeakBars=Classic\nPeakHold="
                                    "Classic\nPeakHoldMs=2000\nScale=dBFS\nAlignDbfs=-18\n";
const QByteArray SavedDefaults =
    QByteArray(DefaultFile).replace("InputDevNo=0\n", "InputDevNo=0\nInputDevName=\nJackConnect=1\n") +
    ClassicStandards;

class SettingsTest : public ::testing::Test {
  protected:
    QString Path(const char *name = "VelmoraPro.ini") const { return dir.filePath(name); }

    void Put(const QByteArray &data, const char *name = "VelmoraPro.ini") const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(data.size(), f.write(data));
    }

    QByteArray Get(const char *name = "VelmoraPro.ini") const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    QTemporaryDir dir;
};

// Runs the body with the temporary directory as the working directory.
class WorkingDirTest : public SettingsTest {
  protected:
    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(dir.path())); }
    void TearDown() override { QDir::setCurrent(saved); }
    QString saved = QDir::currentPath();
};

} // namespace

TEST(SettingsPath, BesideTheProgram) {
    EXPECT_EQ(QCoreApplication::applicationDirPath() + "/VelmoraPro.ini",
              SettingsFilePath(ProgramSettingsDir()));
}

TEST_F(SettingsTest, EmptyDirectoryGivesTheDefaults) {
    TSettings s = Unusual();
    ReadAllSettings(Path(), s);
    const TSettings expected{.InputDevNo = 0,
                             .InputDevName = "",
                             .VURefLevel = -20,
                             .BackgroundNo = 1,
                             .VUPos = 0,
                             .PeakLevel1 = -5,
                             .PeakLevel2 = -10,
                             .PeakLevel3 = -20,
                             .ShowRedLine = false,
                             .RedLinePos = 49,
                             .ShowGraph = false,
                             .LineSpa = false};
    ExpectSettings(expected, s);
    EXPECT_FALSE(QFile::exists(Path())) << "reading creates no file";
}

TEST_F(SettingsTest, FlagRules) {
    struct Case {
        const char *value;
        bool redLine, graph;
    };
    for (const Case c : {Case{"0", false, false}, Case{"1", true, true}, Case{"2", true, false},
                         Case{"-1", true, false}, Case{"0x1", true, true}, Case{"yes", false, false}}) {
        Put(QByteArray("[GRAPH]\nShowRedLine=") + c.value + "\nShowGraph=" + c.value +
            "\nLineSpa=" + c.value + "\n");
        TSettings s;
        ReadAllSettings(Path(), s);
        EXPECT_EQ(c.redLine, s.ShowRedLine) << c.value;
        EXPECT_EQ(c.graph, s.ShowGraph) << c.value;
        EXPECT_EQ(c.graph, s.LineSpa) << c.value;
    }
}

TEST_F(SettingsTest, ReadsEveryKeyFromItsSection) {
    Put("[graph]\nlinespa=1\nShowGraph=1\nRedLinePos=$50\nShowRedLine=5\n[peak]\nLevel3=-30\nLevel2=-15\n"
        "Level1=-2\n[vu]\nVUPos=2\nBackgroundNo=3\nRefLevel=-40\n[soundcard]\nInputDevNo=0x2\n"
        "[Other]\nInputDevNo=9\n");
    TSettings s;
    ReadAllSettings(Path(), s);
    const TSettings e{.InputDevNo = 2,
                      .InputDevName = "",
                      .VURefLevel = -40,
                      .BackgroundNo = 3,
                      .VUPos = 2,
                      .PeakLevel1 = -2,
                      .PeakLevel2 = -15,
                      .PeakLevel3 = -30,
                      .ShowRedLine = true,
                      .RedLinePos = 80,
                      .ShowGraph = true,
                      .LineSpa = true};
    ExpectSettings(e, s);
}

TEST_F(SettingsTest, SaveWritesEveryKeyInOrder) {
    WriteAllSettings(Path(), TSettings{});
    EXPECT_EQ(SavedDefaults, Get());

    WriteAllSettings(Path(), Unusual());
    EXPECT_EQ(QByteArray("[SoundCard]\nInputDevNo=3\nInputDevName=Desk "
                         "B\nJackConnect=0\n[VU]\nRefLevel=-12\nBackgroundNo=3\nVUPos=2\n"
                         "[Peak]\nLevel1=-1\nLevel2=-2\nLevel3=-3\n"
                         "[GRAPH]\nShowRedLine=1\nRedLinePos=80\nShowGraph=1\nLineSpa=1\n") +
                  ClassicStandards,
              Get());
    TSettings back;
    ReadAllSettings(Path(), back);
    ExpectSettings(Unusual(), back);
}

TEST_F(SettingsTest, VUPosOfTwoIsWrittenBackAsTwo) {
    Put("[VU]\nVUPos=2\n");
    TSettings s;
    ReadAllSettings(Path(), s);
    EXPECT_EQ(2, s.VUPos);
    WriteAllSettings(Path(), s);
    TSettings back;
    ReadAllSettings(Path(), back);
    EXPECT_EQ(2, back.VUPos);
}

TEST_F(SettingsTest, SaveRewritesHexAndKeepsForeignContent) {
    Put("; operator notes\n[VU]\nRefLevel=$FFFFFFEC\nComment=keep "
        "me\n[Mixer]\nGain=3\n[GRAPH]\nShowRedLine=7\n");
    TSettings s;
    ReadAllSettings(Path(), s);
    EXPECT_EQ(-20, s.VURefLevel);
    WriteAllSettings(Path(), s);
    EXPECT_EQ(QByteArray("; operator notes\n[VU]\nRefLevel=-20\nComment=keep me\nBackgroundNo=1\nVUPos=0\n"
                         "[Mixer]\nGain=3\n[GRAPH]\nShowRedLine=1\nRedLinePos=49\nShowGraph=0\nLineSpa=0\n"
                         "[SoundCard]\nInputDevNo=0\nInputDevName=\nJackConnect=1\n[Peak]\nLevel1=-5\nLevel2="
                         "-10\nLevel3=-20\n") +
                  ClassicStandards,
              Get());
}

// The device list's names are bytes cut to 31 of them, wherever a character ends; the file
// escapes what it could lose (other bytes than printable ASCII, spaces at the ends).
TEST_F(SettingsTest, InputNameComesBackByteForByte) {
    char cut[32];
    CopyDeviceName(cut, sizeof cut, "スタジオB ミキサー卓 第2入力"); // 31 bytes: one of 第's three
    for (const std::string &name : {std::string(cut), std::string(" hw:CARD=PCH,DEV=0 "),
                                    std::string("a\\xZZ\\\\b\\x41"), std::string("tab\there; #[x]")}) {
        TSettings s = Unusual();
        s.InputDevName = name;
        WriteAllSettings(Path(), s);
        TSettings back;
        ReadAllSettings(Path(), back);
        EXPECT_EQ(name, back.InputDevName) << Get().toStdString();
    }
    EXPECT_TRUE(Get().contains("\nInputDevName=tab\\x09here; #[x]\n")) << Get().toStdString();
    // A name typed into the file as text reads as it stands.
    Put("[SoundCard]\nInputDevName=スタジオB\n");
    TSettings typed;
    ReadAllSettings(Path(), typed);
    EXPECT_EQ("スタジオB", typed.InputDevName);
}

TEST(FindInputDevice, KeepsTheSavedNumberWhenAnotherDeviceSharesTheName) {
    TSettings s{.InputDevNo = 2, .InputDevName = "Desk B"};
    EXPECT_TRUE(FindInputDevice(s, {"Desk B", "New", "Desk B"}));
    EXPECT_EQ(2, s.InputDevNo);
}

TEST_F(SettingsTest, FailedSaveRaisesTheMessageAndWritesNothing) {
    Put("not a directory", "blocker");
    const QString path = dir.filePath("blocker/VelmoraPro.ini");
    const TSettings s = Unusual();
    try {
        WriteAllSettings(path, s);
        FAIL() << "no error";
    } catch (const EMMIniError &e) {
        EXPECT_EQ(path.toStdString() + " に書き込めません", e.what());
    }
    EXPECT_EQ(QByteArray("not a directory"), Get("blocker"));
    ExpectSettings(Unusual(), s);
}

TEST_F(SettingsTest, WriteFailingMidwayKeepsTheKeysBeforeItAndSkipsTheRest) {
    // A file just under the size limit: the first two keys still go in, after
    // which the file is too large to take in and the third write refuses.
    const QByteArray head = "[SoundCard]\n;";
    const QByteArray filler(TIniFile::MaxFileSize - 20 - head.size() - 1, 'x');
    Put(head + filler + "\n");
    try {
        WriteAllSettings(Path(), Unusual());
        FAIL() << "no error";
    } catch (const EMMIniError &e) {
        EXPECT_EQ(Path().toStdString() + " に書き込めません", e.what());
    }
    const QByteArray after = Get();
    EXPECT_TRUE(after.startsWith("[SoundCard]\nInputDevNo=3\nInputDevName=Desk B\n;xxx"))
        << after.left(40).toStdString();
    EXPECT_TRUE(after.endsWith("xxx\n")) << after.right(40).toStdString();
    EXPECT_FALSE(after.contains("RefLevel"));
}

TEST_F(SettingsTest, ReadOnlyDirectoryRaisesAndLeavesTheFileAlone) {
    Put(DefaultFile);
    std::string message = "(no error)";
    {
        ScopedReadOnly file(Path());
        ScopedReadOnly folder(dir.path());
        if (!file.Ok() || !folder.Ok())
            GTEST_SKIP() << "this file system cannot make a folder read-only for root";
        try {
            WriteAllSettings(Path(), Unusual());
        } catch (const EMMIniError &e) {
            message = e.what();
        }
    }
    EXPECT_EQ(Path().toStdString() + " に書き込めません", message);
    EXPECT_EQ(DefaultFile, Get());
    EXPECT_EQ(QStringList{"VelmoraPro.ini"}, QDir(dir.path()).entryList(QDir::Files | QDir::Hidden));
}

TEST_F(WorkingDirTest, LoadDefaultCopiesThenReadsAllButTheLastTwo) {
    Put(DefaultFile, "VelmoraDef.ini");
    WriteAllSettings(Path(), Unusual());
    CopyDefaultsFile();
    EXPECT_EQ(DefaultFile, Get());

    TSettings s = Unusual();
    ReadDefaultKeys(QStringLiteral("VelmoraPro.ini"), s);
    TSettings e;        // the defaults file names no device
    e.ShowGraph = true; // the last two are not read
    e.LineSpa = true;
    ExpectSettings(e, s);

    // After a save the file holds the nine defaults and the console's own last two.
    WriteAllSettings(Path(), s);
    TSettings back;
    ReadAllSettings(Path(), back);
    ExpectSettings(e, back);
}

TEST_F(WorkingDirTest, LoadDefaultWithoutDefaultsFileKeepsTheSettings) {
    const QByteArray mine = "[VU]\nRefLevel=-12\n";
    Put(mine);
    CopyDefaultsFile();
    EXPECT_EQ(mine, Get());
    ASSERT_TRUE(QDir(dir.path()).mkdir("VelmoraDef.ini")); // not a file either
    CopyDefaultsFile();
    EXPECT_EQ(mine, Get());
    TSettings s;
    ReadDefaultKeys(Path(), s);
    EXPECT_EQ(-12, s.VURefLevel);
}

TEST(SettingsDefaultsFile, ShippedFileHoldsTheKeyTable) {
    // The source tree's resources/, found above the test program's build directory.
    QDir up(QCoreApplication::applicationDirPath());
    QString file;
    for (int i = 0; i < 5 && file.isEmpty(); ++i, up.cdUp())
        if (QFile::exists(up.filePath("resources/VelmoraDef.ini")))
            file = up.filePath("resources/VelmoraDef.ini");
    if (file.isEmpty()) GTEST_SKIP() << "source tree not found";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(DefaultFile, f.readAll());
}
