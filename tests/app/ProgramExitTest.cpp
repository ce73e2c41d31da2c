#include "AppTestSupport.h"

#include "platform/X11Windows.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

// These run the console itself, built beside the test programs, from a folder of its own so
// that its settings file is the test's.
namespace {

QString ProgramPath() {
    return QCoreApplication::applicationDirPath() + "/../VelmoraPro";
}

// A copy of the program in a fresh folder; its settings file lives there too.
bool InstallCopy(const QTemporaryDir &dir, QString &program) {
    program = dir.filePath("VelmoraPro");
    return QFile::copy(ProgramPath(), program) &&
           QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray Contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void StartConsole(QProcess &console, const QString &program, const QString &dir) {
    console.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    console.setProcessEnvironment(env);
    console.start(program, {"-platform", "xcb"});
}

// Holds a connection for the life of the test: an X server without clients resets itself,
// refusing connections for a moment, and the console could start in that moment.
class TXConnection {
  public:
    TXConnection() : FConnection(ConnectX()) {}
    ~TXConnection() { xcb_disconnect(FConnection); }
    bool Ok() const { return xcb_connection_has_error(FConnection) == 0; }
    // A close request sent before the window exists would be lost; look for it first.
    bool ConsoleWindowUp() const {
        return !X11FindWindowsByTitle(FConnection, "Sound Tikkora Meter").empty();
    }
    // The error box: shown, under the program's name. The toolkit's own hidden 1 x 1 leader
    // window carries that name from the start, so being there is not enough.
    bool ErrorBoxUp() const {
        for (std::uint32_t w : X11FindWindowsByTitle(FConnection, "VelmoraPro")) {
            xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(
                FConnection, xcb_get_window_attributes(FConnection, w), nullptr);
            const bool shown = a != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(a);
            if (shown) return true;
        }
        return false;
    }

  private:
    xcb_connection_t *FConnection;
};

// The settings file that points the console at a device that is not there.
const QByteArray kMissingDeviceIni = "[SoundCard]\nInputDevNo=99\n";

// Starts a copy of the console in dir on a missing device: starting capture at show raises,
// and the error box holds the console modally.
void StartHeldByErrorBox(const TXConnection &x, const QTemporaryDir &dir, QProcess &console) {
    QString program;
    ASSERT_TRUE(InstallCopy(dir, program));
    QFile f(dir.filePath("VelmoraPro.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kMissingDeviceIni);
    f.close();
    StartConsole(console, program, dir.path());
    ASSERT_TRUE(console.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([&] { return x.ConsoleWindowUp() && x.ErrorBoxUp(); }, 20000))
        << console.readAllStandardError().data();
}

} // namespace

TEST(ProgramExitTest, ClosingTheConsoleEndsWithCodeZeroAndSavesNothing) {
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs an X display (tools/run-tests.sh starts Xvfb)";
    ASSERT_TRUE(QFileInfo::exists(ProgramPath())) << "build the VelmoraPro target first";
    const TXConnection x;
    ASSERT_TRUE(x.Ok());

    for (const bool withFile : {true, false}) {
        QTemporaryDir dir;
        QString program;
        ASSERT_TRUE(InstallCopy(dir, program));
        const QString ini = dir.filePath("VelmoraPro.ini");
        // Values that differ from what the console would write back, so any save shows.
        const QByteArray saved = "; the operator's file\r\n[VU]\r\nRefLevel=0x10\r\nVUPos=2\r\n";
        if (withFile) {
            QFile f(ini);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(saved);
        }
        const QDateTime modified = QFileInfo(ini).lastModified();

        QProcess console;
        StartConsole(console, program, dir.path());
        ASSERT_TRUE(console.waitForStarted(10000));
        ASSERT_TRUE(WaitFor([&] { return x.ConsoleWindowUp(); }, 20000))
            << console.readAllStandardError().data();
        EXPECT_EQ(CloseWindowsByTitle("Sound Tikkora Meter"), 1);
        const bool ended = console.waitForFinished(10000);
        if (!ended) console.kill();
        ASSERT_TRUE(ended);
        EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(console.exitCode(), 0);
        if (withFile) {
            EXPECT_EQ(Contents(ini), saved);
            EXPECT_EQ(QFileInfo(ini).lastModified(), modified);
        } else {
            EXPECT_FALSE(QFileInfo::exists(ini));
        }
    }
}

// A copy of the console on a missing device, held by its error box.
class ErrorBoxExitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr)
            GTEST_SKIP() << "needs an X display (tools/run-tests.sh starts Xvfb)";
        x = std::make_unique<TXConnection>();
        ASSERT_TRUE(x->Ok());
        ASSERT_NO_FATAL_FAILURE(StartHeldByErrorBox(*x, dir, console));
    }
    // Closes the console's window and expects it to end cleanly.
    void CloseConsole() {
        EXPECT_EQ(CloseWindowsByTitle("Sound Tikkora Meter"), 1);
        const bool ended = console.waitForFinished(10000);
        if (!ended) console.kill();
        ASSERT_TRUE(ended);
        EXPECT_EQ(console.exitCode(), 0);
    }

    std::unique_ptr<TXConnection> x; // made once a display is known to be there
    QTemporaryDir dir;
    QProcess console;
};

TEST_F(ErrorBoxExitTest, ClosingTheConsoleUnderItsErrorBoxStillEndsIt) {
    ASSERT_NO_FATAL_FAILURE(CloseConsole());
    EXPECT_EQ(Contents(dir.filePath("VelmoraPro.ini")), kMissingDeviceIni);
}

// The operator answers the error box; the console goes on (and still ends when closed).
TEST_F(ErrorBoxExitTest, AnsweringTheErrorBoxLeavesTheConsoleRunning) {
    CloseWindowsByTitle("VelmoraPro"); // the box (the toolkit's hidden leader window ignores it)
    ASSERT_TRUE(WaitFor([&] { return !x->ErrorBoxUp(); }, 10000));
    EXPECT_FALSE(console.waitForFinished(1500)) << "the console ended with its error box";
    EXPECT_TRUE(x->ConsoleWindowUp());
    CloseConsole();
}

TEST(ProgramExitTest, HelpNeedsNoDisplay) {
    ASSERT_TRUE(QFileInfo::exists(ProgramPath())) << "build the VelmoraPro target first";
    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    console.setProcessEnvironment(env);
    console.start(ProgramPath(), {"--help"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 0);
    EXPECT_TRUE(console.readAllStandardOutput().contains("--help"));

    console.start(ProgramPath(), {"--bogus"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 2);
    EXPECT_TRUE(console.readAllStandardError().contains("bogus"));
}
