#include "AppTestSupport.h"

#include "platform/ProgramLauncher.h"

#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Writes an executable shell script that records its directory and arguments in `log`.
void WriteRecorder(const QString &path, const QString &log) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QString("#!/bin/sh\n"
                    "fd=no; [ -e /proc/$$/fd/57 ] && fd=yes\n"
                    "printf '%s|%s|%s|%s\\n' \"$(pwd)\" \"$0\" \"$*\" \"$fd\" > '%1.tmp'\n"
                    "mv '%1.tmp' '%1'\n")
                .arg(log)
                .toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString ReadWhenThere(const QString &path) {
    if (!WaitFor([&] { return QFile::exists(path); })) return {};
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll()).trimmed();
}

} // namespace

TEST(CommandLineTest, WorkingDirectoryAndTailAsTheyStand) {
    EXPECT_EQ(BuildCommandLine("/home/op", "/watch.exe"), "/home/op/watch.exe");
    EXPECT_EQ(BuildCommandLine("/home/op/", "/vizaz.exe shutdown"), "/home/op/vizaz.exe shutdown");
    EXPECT_EQ(BuildCommandLine("/", "/DizaVare.exe"), "/DizaVare.exe");
    // No quoting: a space in the directory splits the command line there.
    EXPECT_EQ(SplitCommandLine("/srv/my dir/vizaz.exe  shutdown"),
              (std::vector<std::string>{"/srv/my", "dir/vizaz.exe", "shutdown"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(StartProgramTest, RunsInTheWorkingDirectoryWithTheArgumentsAndNoInheritedFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteRecorder(dir.filePath("vizaz.exe"), dir.filePath("log"));
    // An open file without close-on-exec must not reach the child.
    const int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, 57), 57);
    close(fd);

    const std::string wd = dir.path().toStdString();
    const bool started = StartProgram(BuildCommandLine(wd, "/vizaz.exe shutdown"), wd);
    close(57);
    ASSERT_TRUE(started);
    EXPECT_EQ(ReadWhenThere(dir.filePath("log")),
              dir.path() + "|" + dir.filePath("vizaz.exe") + "|shutdown|no");
}

TEST(StartProgramTest, MissingOrUnrunnableProgramFailsQuietly) {
    QTemporaryDir dir;
    const std::string wd = dir.path().toStdString();
    EXPECT_FALSE(StartProgram(wd + "/DizaVare.exe", wd));
    QFile plain(dir.filePath("watch.exe"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(StartProgram(wd + "/watch.exe", wd)); // not executable
    EXPECT_FALSE(StartProgram("", wd));
    EXPECT_FALSE(StartProgram(wd + "/watch.exe", wd + "/no-such-dir"));
}
