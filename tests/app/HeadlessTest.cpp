// The console without a window, run as the rack machine runs it: no display in its
// environment, a real Mosquitto (started by the test) hearing its feed.

#include "AppTestSupport.h"
#include "net/MosquittoTestBroker.h"
#include "net/NetTopics.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

namespace {

const std::string kRoot = TopicRoot("velmora", "rack-1");

QString Program() {
    return QCoreApplication::applicationDirPath() + "/../VelmoraPro";
}

void WriteFile(const QString &path, const QByteArray &contents) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(contents);
}

void StartHeadless(QProcess &console, const QString &program, const QStringList &arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    console.setProcessEnvironment(env);
    console.start(program, QStringList{"--headless"} + arguments);
}

// The simulated 1 kHz tone at -20 dBFS, published as "rack-1".
void StartRack(QProcess &console, const TMosquittoTestBroker &broker) {
    StartHeadless(console, Program(),
                  {"--simulated-devices", "--device", "Simulated 1 kHz -20 dBFS", "--publish",
                   QString::fromStdString(broker.Url()), "--station", "rack-1"});
}

class Headless : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(Program())) GTEST_SKIP() << "VelmoraPro is not built";
        if (!TMosquittoTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed";
    }
};

} // namespace

TEST_F(Headless, PublishesWithoutADisplayAndEndsOnSigtermWithOfflineSaid) {
    TMosquittoTestBroker broker;
    TTestSubscriber subscriber(broker.Port(), kRoot + "/#");
    QProcess console;
    StartRack(console, broker);
    const std::string status = Topic(kRoot, kStatusLeaf), levels = Topic(kRoot, kLevelsLeaf);
    ASSERT_TRUE(subscriber.WaitForPayload(status, "online", 10000))
        << console.readAllStandardError().toStdString();
    ASSERT_TRUE(subscriber.WaitForPayload(levels, "\"peak\":[-20.00,-20.00]", 5000));
    EXPECT_TRUE(subscriber.WaitForPayload(levels, "\"vu\":[", 100));
    EXPECT_TRUE(subscriber.WaitForPayload(levels, "\"corr\":1.00", 3000));

    ::kill(static_cast<pid_t>(console.processId()), SIGTERM);
    ASSERT_TRUE(console.waitForFinished(5000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    EXPECT_TRUE(subscriber.WaitForPayload(status, "offline", 3000));
    EXPECT_EQ(subscriber.On(status).back().Payload.find("\"state\":\"offline\""), 1u);
}

TEST_F(Headless, KilledItIsMarkedOfflineWithinOneAndAHalfKeepAlives) {
    TMosquittoTestBroker broker;
    TTestSubscriber subscriber(broker.Port(), kRoot + "/status");
    QProcess console;
    StartRack(console, broker);
    const std::string status = Topic(kRoot, kStatusLeaf);
    ASSERT_TRUE(subscriber.WaitForPayload(status, "online", 10000));
    const auto killed = std::chrono::steady_clock::now();
    console.kill();
    console.waitForFinished(5000);
    ASSERT_TRUE(subscriber.WaitForPayload(status, "offline", 15000));
    EXPECT_LT(subscriber.On(status).back().At - killed, std::chrono::seconds(15));
}

// What the rack's service manager sees when the console cannot run: the reason on standard
// error and a status telling a bad set-up (2) from an input that failed (1).
TEST_F(Headless, RefusalsEndWithTheirStatusAndTheReason) {
    QProcess console;
    StartHeadless(console, Program(), {"--publish", "mqtt://broker:99999"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 2);
    EXPECT_TRUE(console.readAllStandardError().contains("65535"));

    // Each input's console reads a settings file of its own.
    QTemporaryDir dir;
    const QString settings = dir.filePath("studio-7.ini");
    const QString credentials = dir.filePath("mqtt.cred");
    WriteFile(credentials, "meter:secret\n");
    QFile::setPermissions(credentials, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    WriteFile(settings, "[NETWORK]\nPublish=1\nBroker=mqtt://127.0.0.1:1\nCredentialsFile=" +
                            credentials.toUtf8() + "\n");
    StartHeadless(console, Program(),
                  {"--settings", settings, "--simulated-devices", "--device", "Simulated 1 kHz -20 dBFS"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 2);
    EXPECT_TRUE(console.readAllStandardError().contains(credentials.toUtf8()));

    // The saved input is gone: the console's own error text, status 1.
    WriteFile(settings, "[SoundCard]\nInputDevNo=0\nInputDevName=Gone card\n");
    StartHeadless(console, Program(), {"--settings", settings, "--simulated-devices"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 1);
    EXPECT_TRUE(console.readAllStandardError().contains("Gone card"));
}

// SIGTERM flushes the event log: the overs of the simulated counter (full scale once a wrap)
// are in the day's file once the console has ended.
TEST_F(Headless, SigtermLeavesTheEventLogWritten) {
    QTemporaryDir logs;
    QProcess console;
    StartHeadless(console, Program(),
                  {"--simulated-devices", "--device", "Simulated counter", "--log-dir", logs.path()});
    ASSERT_TRUE(console.waitForStarted(5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    ::kill(static_cast<pid_t>(console.processId()), SIGTERM);
    ASSERT_TRUE(console.waitForFinished(5000));
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    const QStringList files = QDir(logs.path()).entryList({"events-*.csv"});
    ASSERT_EQ(files.size(), 1);
    QFile file(logs.filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(",OVER,L,"));
}
