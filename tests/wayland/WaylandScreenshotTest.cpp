// The console on a headless Weston (pixman renderer, Qt's "wayland" platform) draws exactly what
// it draws on a virtual X server: the X11 window's picture lies, pixel for pixel, in Weston's
// screenshot. Each display is private to the test and stopped by its PID.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace {

// A program this test started, ended by its PID when the test ends.
class TChild {
  public:
    TChild(const QString &program, const QStringList &args, const QProcessEnvironment &env) {
        FProcess.setProcessEnvironment(env);
        FProcess.setStandardOutputFile(QProcess::nullDevice());
        FProcess.setStandardErrorFile(QProcess::nullDevice());
        FProcess.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        FProcess.start(program, args);
        FProcess.waitForStarted(5000);
    }
    ~TChild() {
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000)) FProcess.kill();
        FProcess.waitForFinished(5000);
    }
    TChild(const TChild &) = delete;
    TChild &operator=(const TChild &) = delete;

  private:
    QProcess FProcess;
};

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QByteArray> RunToEnd(const QString &program, const QStringList &args,
                                   const QProcessEnvironment &env, const QString &dir = QString()) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!dir.isEmpty()) p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// Where `part` lies, pixel for pixel, in `whole` (both 32-bit RGB, alpha ignored).
std::optional<QPoint> Find(QImage whole, QImage part) {
    whole = whole.convertToFormat(QImage::Format_RGB32);
    part = part.convertToFormat(QImage::Format_RGB32);
    const std::size_t rowBytes = static_cast<std::size_t>(part.width()) * 4;
    for (int y = 0; y + part.height() <= whole.height(); ++y)
        for (int x = 0; x + part.width() <= whole.width(); ++x) {
            int r = 0;
            while (r < part.height() &&
                   std::memcmp(whole.constScanLine(y + r) + 4 * x, part.constScanLine(r), rowBytes) == 0)
                ++r;
            if (r == part.height()) return QPoint(x, y);
        }
    return std::nullopt;
}

bool WaitFor(const std::function<bool()> &done, int ms) {
    for (int waited = 0; waited < ms; waited += 100) {
        if (done()) return true;
        QThread::msleep(100);
    }
    return done();
}

} // namespace

TEST(WaylandScreenshot, TheConsoleOnWestonLooksPixelForPixelAsOnX11) {
    for (const char *program : {"Xvfb", "xdotool", "import", "weston", "weston-screenshooter"})
        if (QStandardPaths::findExecutable(program).isEmpty()) GTEST_SKIP() << program << " is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    base.remove("WAYLAND_DISPLAY");
    base.remove("QT_QPA_PLATFORM");
    base.insert("XDG_RUNTIME_DIR", dir.path());
    base.insert("XDG_CONFIG_HOME", dir.path()); // no settings of the machine's
    // Silence: nothing moves between the two pictures.
    const QStringList console = {"--simulated-devices", "--device", "Simulated silence"};

    QImage x11;
    {
        int n = 150;
        while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) ||
               QFile::exists(QString("/tmp/.X%1-lock").arg(n)))
            ++n;
        const QString display = QString(":%1").arg(n);
        TChild server("Xvfb", {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, base);
        QProcessEnvironment env = base;
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        ASSERT_TRUE(
            WaitFor([&] { return RunToEnd("xdotool", {"getmouselocation"}, env).has_value(); }, 10000));
        TChild meter(VELMORA_CONSOLE, console, env);
        std::optional<QByteArray> window;
        ASSERT_TRUE(WaitFor(
            [&] {
                return (window = RunToEnd("xdotool", {"search", "--name", "^Sound Tikkora Meter$"}, env))
                    .has_value();
            },
            15000));
        QThread::msleep(2000); // the meters settle on silence
        const QString file = dir.filePath("x11.png");
        ASSERT_TRUE(
            RunToEnd("import", {"-window", QString::fromLatin1(window->split('\n').first()), file}, env));
        ASSERT_TRUE(x11.load(file));
    }

    QImage weston;
    {
        QProcessEnvironment env = base;
        env.remove("DISPLAY");
        TChild compositor("weston",
                          {"-B", "headless-backend.so", "--use-pixman", "--width=1024", "--height=768",
                           "--socket=velmora-test", "--idle-time=0", "--debug"},
                          env);
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(dir.filePath("velmora-test")); }, 10000));
        env.insert("WAYLAND_DISPLAY", "velmora-test");
        env.insert("QT_QPA_PLATFORM", "wayland");
        // The toolkit's own title bar would only cover the top of the output.
        env.insert("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
        TChild meter(VELMORA_CONSOLE, console, env);
        QThread::msleep(5000);
        const QString shots = dir.filePath("shots");
        ASSERT_TRUE(QDir().mkpath(shots));
        ASSERT_TRUE(RunToEnd("weston-screenshooter", {}, env, shots));
        const QStringList taken = QDir(shots).entryList({"*.png"});
        ASSERT_EQ(taken.size(), 1);
        ASSERT_TRUE(weston.load(QDir(shots).filePath(taken.first())));
    }

    ASSERT_EQ(x11.size(), QSize(800, 610));
    const std::optional<QPoint> at = Find(weston, x11);
    EXPECT_TRUE(at.has_value()) << "the X11 picture is nowhere in Weston's screenshot (both in "
                                << dir.path().toStdString() << ")";
    if (!at) dir.setAutoRemove(false);
}
