// Where the settings live when the program's folder is not the operator's.

#include "AppTestSupport.h"

#include "app/MainFrm.h"
#include "app/SettingsPlace.h"
#include "common/ScopedReadOnly.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Read(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString &path, const QByteArray &contents) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents);
}

// Sets XDG_CONFIG_HOME for the life of the object.
class TConfigHome {
  public:
    explicit TConfigHome(const QByteArray &value) : FOld(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", value);
    }
    ~TConfigHome() { FOld.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", FOld); }

  private:
    QByteArray FOld;
};

} // namespace

TEST(SettingsPlace, TheProgramFolderWhenWritableElseTheOperatorsConfigFolder) {
    QTemporaryDir program, config;
    const TConfigHome home(QFile::encodeName(config.path()));
    const TSettingsPlace own = ChooseSettingsPlace(program.path());
    EXPECT_EQ(own.Dir, program.path());
    EXPECT_TRUE(own.FallbackFile.isEmpty());
    EXPECT_TRUE(own.DefaultsFile.isEmpty());

    const ScopedReadOnly locked(program.path());
    if (!locked.Ok()) GTEST_SKIP() << "this file system cannot make a folder read-only";
    const TSettingsPlace shared = ChooseSettingsPlace(program.path());
    EXPECT_EQ(shared.Dir, config.path() + "/velmora");
    EXPECT_EQ(shared.FallbackFile, program.path() + "/VelmoraPro.ini");
    EXPECT_EQ(shared.DefaultsFile, program.path() + "/VelmoraDef.ini");
    // A relative value is no configuration folder at all.
    const TConfigHome relative("relative/config");
    EXPECT_EQ(ChooseSettingsPlace(program.path()).Dir, QDir::homePath() + "/.config/velmora");
}

// A shared install: the console starts from the program folder's settings, its first save makes
// the operator's folder, a later start reads that, and the defaults are loaded into it.
TEST(SettingsPlace, AnOperatorsOwnFileIsSavedReadBackAndTakesTheDefaults) {
    QTemporaryDir program, config;
    const QString programIni = program.path() + "/VelmoraPro.ini";
    Write(programIni, "[VU]\nRefLevel=-12\n");
    Write(program.path() + "/VelmoraDef.ini", "[VU]\nRefLevel=-18\n");
    const QString own = config.path() + "/velmora";
    TSimWaveInDriver driver;
    const TFormServices services{driver, own, &StartProgram, programIni, program.path() + "/VelmoraDef.ini"};
    {
        TTestForm form(services);
        EXPECT_EQ(form.Settings.VURefLevel, -12);
        form.Settings.VURefLevel = -30;
        form.BtnSaveSettingClick();
    }
    EXPECT_EQ(Read(programIni), "[VU]\nRefLevel=-12\n");
    TTestForm form(services);
    EXPECT_EQ(form.Settings.VURefLevel, -30);

    form.Button5Click();
    EXPECT_EQ(Read(own + "/VelmoraPro.ini"), "[VU]\nRefLevel=-18\n");
    EXPECT_EQ(form.Settings.VURefLevel, -18);
}
