#include "platform/IniFile.h"
#include "common/ScopedReadOnly.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test {
  protected:
    QString Path(const QString &name = QStringLiteral("test.ini")) const { return dir.filePath(name); }

    void Put(const QByteArray &data, const QString &name = QStringLiteral("test.ini")) const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(data.size(), f.write(data));
    }

    QByteArray Get(const QString &name = QStringLiteral("test.ini")) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static std::string WriteError(const QString &path) {
        return QStringLiteral("%1 に書き込めません").arg(path).toStdString();
    }

    // Runs a write that must fail and returns its message.
    template <typename F> static std::string FailingWrite(F &&write) {
        try {
            write();
        } catch (const EMMIniError &e) {
            return e.what();
        }
        return "(no error)";
    }

    QTemporaryDir dir;
};

} // namespace

TEST(IniParseInteger, AcceptedForms) {
    EXPECT_EQ(-20, TIniFile::ParseInteger(u"-20"));
    EXPECT_EQ(7, TIniFile::ParseInteger(u"+7"));
    EXPECT_EQ(12, TIniFile::ParseInteger(u"  12 "));
    EXPECT_EQ(31, TIniFile::ParseInteger(u"0x1F"));
    EXPECT_EQ(31, TIniFile::ParseInteger(u"0X1f"));
    EXPECT_EQ(255, TIniFile::ParseInteger(u"$ff"));
    EXPECT_EQ(-16, TIniFile::ParseInteger(u"-$10"));
    EXPECT_EQ(-1, TIniFile::ParseInteger(u"$FFFFFFFF")) << "hexadecimal is a 32-bit pattern";
    EXPECT_EQ(INT32_MAX, TIniFile::ParseInteger(u"2147483647"));
    EXPECT_EQ(INT32_MIN, TIniFile::ParseInteger(u"-2147483648"));
    EXPECT_EQ(0, TIniFile::ParseInteger(u"000"));
}

TEST(IniParseInteger, RejectedForms) {
    for (const char16_t *text :
         {u"", u"  ", u"-", u"0x", u"$", u"12abc", u"1.5", u"1e3", u"- 5", u"0x-5", u"2147483648",
          u"-2147483649", u"0x100000000", u"$G", u"99999999999999999999", u"\u0663", u"５", u"0b101", u"--1"})
        EXPECT_FALSE(TIniFile::ParseInteger(text).has_value()) << QString::fromUtf16(text).toStdString();
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
    TIniFile ini(Path());
    EXPECT_EQ(-20, ini.ReadInteger("VU", "RefLevel", -20));
    EXPECT_EQ(QString("x"), ini.ReadString("VU", "RefLevel", "x"));
    EXPECT_FALSE(ini.ValueExists("VU", "RefLevel"));
    EXPECT_FALSE(QFile::exists(Path())) << "reading creates nothing";
}

TEST_F(IniFileTest, ReadsNamesCaseInsensitivelyAndSkipsComments) {
    Put("Orphan=1\n; comment\n[vu]\n  refLEVEL =  -12  \n;BackgroundNo=3\n#VUPos=1\nBad\n=4\n"
        "[Peak]\nLevel1=0x10\nLevel2=oops\nLevel3=\n");
    TIniFile ini(Path());
    EXPECT_EQ(-12, ini.ReadInteger("VU", "RefLevel", 0));
    EXPECT_EQ(QString("-12"), ini.ReadString("Vu", "reflevel", ""));
    EXPECT_EQ(1, ini.ReadInteger("VU", "BackgroundNo", 1)) << "commented out";
    EXPECT_EQ(0, ini.ReadInteger("VU", "VUPos", 0)) << "commented out";
    EXPECT_EQ(9, ini.ReadInteger("", "Orphan", 9)) << "a key before any section belongs to none";
    EXPECT_EQ(16, ini.ReadInteger("PEAK", "LEVEL1", -5));
    EXPECT_EQ(-10, ini.ReadInteger("Peak", "Level2", -10));
    EXPECT_EQ(-20, ini.ReadInteger("Peak", "Level3", -20));
    EXPECT_TRUE(ini.ValueExists("Peak", "Level3"));
    EXPECT_EQ(QString(""), ini.ReadString("Peak", "Level3", "d")) << "present but empty";
}

TEST_F(IniFileTest, FirstOfDuplicateKeysWinsAndIsTheOneWritten) {
    Put("[A]\nK=1\nK=2\n[B]\nK=5\n[a]\nK=3\nOther=4\n");
    TIniFile ini(Path());
    EXPECT_EQ(1, ini.ReadInteger("A", "K", 0));
    EXPECT_EQ(4, ini.ReadInteger("A", "Other", 0)) << "a repeated section still counts";
    ini.WriteInteger("A", "K", 7);
    EXPECT_EQ(QByteArray("[A]\nK=7\nK=2\n[B]\nK=5\n[a]\nK=3\nOther=4\n"), Get());
    EXPECT_EQ(7, ini.ReadInteger("a", "k", 0));
}

TEST_F(IniFileTest, WritesKeepEverythingElseByteForByte) {
    Put("; settings\n[VU]\nrefLevel = -20\nUnknown=abc\n\n[Extra]\nX=1\n");
    TIniFile ini(Path());
    ini.WriteInteger("VU", "RefLevel", -15);     // existing: spelling of the key kept
    ini.WriteInteger("VU", "BackgroundNo", 2);   // new key: after the last key of its section
    ini.WriteInteger("GRAPH", "RedLinePos", 49); // new section at the end
    EXPECT_EQ(QByteArray("; settings\n[VU]\nrefLevel =-15\nUnknown=abc\nBackgroundNo=2\n\n[Extra]\nX=1\n"
                         "[GRAPH]\nRedLinePos=49\n"),
              Get());
    TIniFile again(Path());
    EXPECT_EQ(-15, again.ReadInteger("VU", "RefLevel", 0));
    EXPECT_EQ(2, again.ReadInteger("VU", "BackgroundNo", 0));
    EXPECT_EQ(49, again.ReadInteger("GRAPH", "RedLinePos", 0));
}

TEST_F(IniFileTest, KeepsCrLfBomAndAddsMissingFinalLineFeed) {
    Put("\xEF\xBB\xBF[SoundCard]\r\nInputDevNo=3\r\n[VU]\r\nRefLevel=-18");
    TIniFile ini(Path());
    EXPECT_EQ(3, ini.ReadInteger("SoundCard", "InputDevNo", 0)) << "the BOM is not part of the name";
    EXPECT_EQ(-18, ini.ReadInteger("VU", "RefLevel", 0)) << "the carriage return is not part of the value";
    ini.WriteInteger("SoundCard", "InputDevNo", 1);
    ini.WriteInteger("VU", "VUPos", 1);
    ini.WriteString("Names", "Title", QStringLiteral("計測"));
    EXPECT_EQ(QByteArray("\xEF\xBB\xBF[SoundCard]\r\nInputDevNo=1\r\n[VU]\r\nRefLevel=-18\nVUPos=1\r\n"
                         "[Names]\r\nTitle=\xE8\xA8\x88\xE6\xB8\xAC\r\n"),
              Get());
    EXPECT_EQ(QStringLiteral("計測"), TIniFile(Path()).ReadString("names", "title", ""));
}

TEST_F(IniFileTest, EmptyFileAndCreatedFile) {
    Put("");
    TIniFile ini(Path());
    EXPECT_EQ(5, ini.ReadInteger("A", "B", 5));
    ini.WriteInteger("A", "B", -6);
    EXPECT_EQ(QByteArray("[A]\nB=-6\n"), Get());

    TIniFile fresh(Path("new.ini"));
    fresh.WriteInteger("S", "K", 0);
    EXPECT_EQ(QByteArray("[S]\nK=0\n"), Get("new.ini"));
}

TEST_F(IniFileTest, SurvivesBinaryJunkAndBrokenHeaders) {
    std::mt19937 rng(1234);
    QByteArray junk(64 * 1024, '\0');
    for (char &c : junk)
        c = static_cast<char>(rng());
    junk.replace('[', 'x'); // no accidental headers
    const QByteArray content =
        junk + "\n[VU]\nRefLevel=-11\n[Peak\nLevel1=-3\n" + junk + "\n[GRAPH]\nRedLinePos=60\n";
    Put(content);
    TIniFile ini(Path());
    EXPECT_EQ(-11, ini.ReadInteger("VU", "RefLevel", 0));
    EXPECT_EQ(-5, ini.ReadInteger("Peak", "Level1", -5)) << "a header without ']' opens no section";
    EXPECT_EQ(60, ini.ReadInteger("GRAPH", "RedLinePos", 49));
    ini.WriteInteger("GRAPH", "RedLinePos", 61);
    QByteArray expected = content;
    expected.replace("RedLinePos=60", "RedLinePos=61");
    EXPECT_EQ(expected, Get()) << "the junk is written back untouched";
}

TEST_F(IniFileTest, HandlesATenMegabyteLine) {
    const QByteArray huge(10 * 1024 * 1024, 'A');
    Put("[VU]\nNote=" + huge + "\nRefLevel=-14\n;" + huge.left(1000) + "\n");
    TIniFile ini(Path());
    EXPECT_EQ(-14, ini.ReadInteger("VU", "RefLevel", 0));
    EXPECT_EQ(huge.size(), ini.ReadString("VU", "Note", "").size());
    EXPECT_EQ(0, ini.ReadInteger("VU", "Note", 0));
    ini.WriteInteger("VU", "RefLevel", -13);
    EXPECT_EQ(QByteArray("[VU]\nNote=" + huge + "\nRefLevel=-13\n;" + huge.left(1000) + "\n"), Get());
}

TEST_F(IniFileTest, DirectoryInPlaceOfTheFile) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("test.ini"));
    TIniFile ini(Path());
    EXPECT_EQ(-20, ini.ReadInteger("VU", "RefLevel", -20));
    EXPECT_EQ(WriteError(Path()), FailingWrite([&] { ini.WriteInteger("VU", "RefLevel", 1); }));
    EXPECT_TRUE(QFileInfo(Path()).isDir());
}

TEST_F(IniFileTest, FailedWriteRaisesAndLeavesNothing) {
    Put("plain file");
    const QString path = dir.filePath("test.ini/sub.ini"); // its "directory" is a file
    TIniFile ini(path);
    EXPECT_EQ(WriteError(path), FailingWrite([&] { ini.WriteInteger("VU", "RefLevel", 1); }));
    EXPECT_EQ(QByteArray("plain file"), Get());
    EXPECT_EQ(QStringList{"test.ini"}, QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot));
}

TEST_F(IniFileTest, ReadOnlyDirectoryRefusesANewFile) {
    std::string message;
    {
        ScopedReadOnly readOnly(dir.path());
        if (!readOnly.Ok()) GTEST_SKIP() << "this file system cannot make a directory read-only for root";
        TIniFile ini(Path());
        message = FailingWrite([&] { ini.WriteInteger("VU", "RefLevel", 1); });
    }
    EXPECT_EQ(WriteError(Path()), message);
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(IniFileTest, OversizedFileIsNeverOverwritten) {
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(TIniFile::MaxFileSize + 1)); // sparse: costs no disk
    }
    TIniFile ini(Path());
    EXPECT_EQ(3, ini.ReadInteger("A", "B", 3));
    EXPECT_EQ(WriteError(Path()), FailingWrite([&] { ini.WriteInteger("A", "B", 1); }));
    EXPECT_EQ(TIniFile::MaxFileSize + 1, QFileInfo(Path()).size());
}

TEST_F(IniFileTest, RefusesNamesAndValuesThatWouldBreakTheFile) {
    Put("[A]\nB=1\n");
    TIniFile ini(Path());
    const std::string error = WriteError(Path());
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("A", "B", "1\n[X]"); }));
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("A", "K=V", "1"); }));
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("A", ";B", "1"); }));
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("A", " B", "1"); }));
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("A]", "B", "1"); }));
    EXPECT_EQ(error, FailingWrite([&] { ini.WriteString("", "B", "1"); }));
    EXPECT_EQ(QByteArray("[A]\nB=1\n"), Get());
}

TEST_F(IniFileTest, WriteKeepsChangesMadeByOthersMeanwhile) {
    Put("[A]\nB=1\n");
    TIniFile ini(Path());
    Put("[A]\nB=1\nC=2\n");
    ini.WriteInteger("A", "B", 5);
    EXPECT_EQ(QByteArray("[A]\nB=5\nC=2\n"), Get());
}
