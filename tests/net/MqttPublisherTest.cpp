// The publisher against a real Mosquitto broker each test starts on a free port.

#include "MosquittoTestBroker.h"

#include "net/MqttPublisher.h"
#include "net/NetTopics.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <sys/wait.h>

namespace {

const std::string kRoot = TopicRoot("test", "studio-7");

TPublisherConfig ConfigFor(const std::string &url) {
    TPublisherConfig config;
    config.Broker = ParseBrokerUrl(url);
    config.TopicRoot = kRoot;
    config.Status = {true, "1.0", "Tone", 1234, 0};
    return config;
}

bool WaitForState(const TMqttPublisher &publisher, TMqttPublisher::TState state, int ms) {
    for (int i = 0; i < ms / 10 && publisher.State() != state; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return publisher.State() == state;
}

std::optional<std::string> WaitForRefusal(TMqttPublisher &publisher) {
    std::optional<std::string> reason;
    for (int i = 0; i < 300 && !reason; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        reason = publisher.TakeRefusal();
    }
    return reason;
}

std::string EventNumbered(int n) {
    return EventPayload({"2026-12-08 14:03:12.250", "CLIP", "L", n, 0.0});
}

bool RunTool(const QString &program, const QStringList &arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, arguments);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

} // namespace

class MqttPublisherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!TMosquittoTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed";
    }
};

TEST(BackOff, OneSecondDoublingToThirtyAndBackToOneOnceConnected) {
    TBackOff b;
    for (const int expected : {1000, 2000, 4000, 8000, 16000, 30000, 30000})
        EXPECT_EQ(b.Next(), expected);
    b.Reset();
    EXPECT_EQ(b.Next(), 1000);
}

TEST_F(MqttPublisherTest, OnlineRetainedWhileItPublishesAndOfflineAfterACleanStop) {
    TMosquittoTestBroker broker;
    TMqttPublisher publisher(ConfigFor(broker.Url()));
    ASSERT_TRUE(WaitForState(publisher, TMqttPublisher::TState::Connected, 5000));
    // A subscriber coming later is told the state by the broker's retained copy.
    TTestSubscriber late(broker.Port(), kRoot + "/#");
    const std::string status = Topic(kRoot, kStatusLeaf);
    ASSERT_TRUE(late.WaitForPayload(status, "online", 3000));
    EXPECT_TRUE(late.On(status).front().Retained);
    EXPECT_EQ(late.On(status).front().Payload,
              R"({"state":"online","version":"1.0","device":"Tone","since":1234,"dropped":0})");

    publisher.PublishLevels("{\"n\":1}");
    publisher.PublishEvent(EventNumbered(1));
    ASSERT_TRUE(late.WaitForPayload(Topic(kRoot, kLevelsLeaf), "\"n\":1", 3000));
    ASSERT_TRUE(late.WaitForPayload(Topic(kRoot, kEventsLeaf), "\"samples\":1", 3000));

    publisher.Stop();
    EXPECT_EQ(publisher.State(), TMqttPublisher::TState::Off);
    ASSERT_TRUE(late.WaitForPayload(status, "offline", 3000));
}

// The console dies: the broker's last will says so within one and a half keep-alive periods.
TEST_F(MqttPublisherTest, KilledPublisherIsMarkedOfflineByItsWill) {
    TMosquittoTestBroker broker;
    TTestSubscriber watcher(broker.Port(), kRoot + "/status");
    const pid_t child = ::fork();
    if (child == 0) {
        TMqttPublisher publisher(ConfigFor(broker.Url()));
        ::pause();
        ::_exit(0);
    }
    const std::string status = Topic(kRoot, kStatusLeaf);
    ASSERT_TRUE(watcher.WaitForPayload(status, "online", 5000));
    const auto killed = std::chrono::steady_clock::now();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(watcher.WaitForPayload(status, "offline", 15000));
    const auto at = watcher.On(status).back().At;
    EXPECT_LT(at - killed, std::chrono::milliseconds(15000));
    EXPECT_TRUE(watcher.On(status).back().Payload.find("\"state\":\"offline\"") != std::string::npos);
}

// The broker goes away: levels are dropped, events wait and arrive once, in order, when it is
// back; what a full queue had to drop is counted in the status.
TEST_F(MqttPublisherTest, OutageQueuesEventsInOrderAndCountsWhatDidNotFit) {
    TMosquittoTestBroker broker;
    TPublisherConfig config = ConfigFor(broker.Url());
    config.QueueCapacity = 20;
    TMqttPublisher publisher(config);
    ASSERT_TRUE(WaitForState(publisher, TMqttPublisher::TState::Connected, 5000));

    broker.Stop();
    ASSERT_TRUE(WaitForState(publisher, TMqttPublisher::TState::Connecting, 5000));
    for (int n = 1; n <= 25; ++n) {
        publisher.PublishEvent(EventNumbered(n));
        publisher.PublishLevels("{\"outage\":" + std::to_string(n) + "}");
    }
    publisher.PublishAlarm(kDeadAirAlarmLeaf, AlarmPayload({true, 77}));
    EXPECT_EQ(publisher.Dropped(), 6u);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(broker.Start());
    TTestSubscriber subscriber(broker.Port(), kRoot + "/#");
    // The back-off reaches 4 s after three failed attempts.
    ASSERT_TRUE(WaitForState(publisher, TMqttPublisher::TState::Connected, 12000));
    ASSERT_TRUE(subscriber.WaitForPayload(Topic(kRoot, kDeadAirAlarmLeaf), "true", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::vector<std::string> events;
    for (const auto &r : subscriber.On(Topic(kRoot, kEventsLeaf)))
        events.push_back(r.Payload);
    std::vector<std::string> expected;
    for (int n = 7; n <= 25; ++n)
        expected.push_back(EventNumbered(n));
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(subscriber.On(Topic(kRoot, kLevelsLeaf)).empty());
    EXPECT_TRUE(subscriber.WaitForPayload(Topic(kRoot, kStatusLeaf), "\"dropped\":6", 3000));
}

// Refused credentials and a TLS handshake that fails each give one text naming the broker and
// the reason; the right ones connect.
TEST_F(MqttPublisherTest, RefusalsNameTheBrokerAndTheReasonOnce) {
    QTemporaryDir dir;
    const QString passwords = dir.filePath("passwords");
    ASSERT_TRUE(RunTool(QStandardPaths::findExecutable("mosquitto_passwd"),
                        {"-c", "-b", passwords, "meter", "right"}));
    TMosquittoTestBroker broker("allow_anonymous false\npassword_file " + passwords.toStdString() + "\n");

    TPublisherConfig config = ConfigFor(broker.Url());
    config.Credentials = TCredentials{"meter", "wrong"};
    {
        TMqttPublisher refused(config);
        const std::optional<std::string> reason = WaitForRefusal(refused);
        ASSERT_TRUE(reason);
        EXPECT_NE(reason->find(broker.Url()), std::string::npos) << *reason;
        EXPECT_NE(reason->find("authori"), std::string::npos) << *reason;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // a second attempt
        EXPECT_FALSE(refused.TakeRefusal());
        EXPECT_NE(refused.State(), TMqttPublisher::TState::Connected);
    }
    config.Credentials = TCredentials{"meter", "right"};
    TMqttPublisher accepted(config);
    EXPECT_TRUE(WaitForState(accepted, TMqttPublisher::TState::Connected, 5000));
}

TEST_F(MqttPublisherTest, TlsConnectsWithTheRightAuthorityAndIsRefusedWithAWrongOne) {
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(name); };
    const auto makeCA = [&](const char *name) {
        return RunTool("openssl",
                       {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                        "-keyout", path(name) + ".key", "-out", path(name) + ".crt", "-days", "2", "-subj",
                        QString("/CN=") + name});
    };
    ASSERT_TRUE(makeCA("ca"));
    ASSERT_TRUE(makeCA("other-ca"));
    ASSERT_TRUE(RunTool("openssl", {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                    "-nodes", "-keyout", path("server.key"), "-out", path("server.csr"),
                                    "-subj", "/CN=127.0.0.1"}));
    FILE *ext = std::fopen(path("san.ext").toLocal8Bit().constData(), "w");
    std::fputs("subjectAltName=IP:127.0.0.1,DNS:localhost\n", ext);
    std::fclose(ext);
    ASSERT_TRUE(RunTool("openssl", {"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.crt"),
                                    "-CAkey", path("ca.key"), "-CAcreateserial", "-out", path("server.crt"),
                                    "-days", "2", "-extfile", path("san.ext")}));
    TMosquittoTestBroker broker("allow_anonymous true\ncertfile " + path("server.crt").toStdString() +
                                "\nkeyfile " + path("server.key").toStdString() + "\n");

    TPublisherConfig config = ConfigFor(broker.Url("mqtts"));
    config.CAFile = path("other-ca.crt").toStdString();
    {
        TMqttPublisher refused(config);
        const std::optional<std::string> reason = WaitForRefusal(refused);
        ASSERT_TRUE(reason);
        EXPECT_NE(reason->find(broker.Url("mqtts")), std::string::npos) << *reason;
        EXPECT_NE(reason->find("TLS"), std::string::npos) << *reason;
    }
    config.CAFile = path("ca.crt").toStdString();
    TMqttPublisher accepted(config);
    TTestSubscriber subscriber(broker.Port(), kRoot + "/#", path("ca.crt").toLocal8Bit().constData());
    ASSERT_TRUE(WaitForState(accepted, TMqttPublisher::TState::Connected, 5000));
    accepted.PublishEvent(EventNumbered(9));
    EXPECT_TRUE(subscriber.WaitForPayload(Topic(kRoot, kEventsLeaf), "\"samples\":9", 3000));

    config.CAFile = path("missing.crt").toStdString();
    EXPECT_THROW(TMqttPublisher{config}, EMMNetError);
}
