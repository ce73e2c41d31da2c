// The windowed console's network feed against a real Mosquitto the test starts: what the
// meters read reaches a subscriber, at the rate set, and the dead-air alarm and its events
// follow the programme.

#include "AppTestSupport.h"
#include "app/Forms.h"
#include "app/MeterPnl.h"
#include "net/MosquittoTestBroker.h"
#include "net/NetTopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

namespace {

constexpr int kRate = 48000;

// Tone (1 kHz, -20 dBFS) on the left only for `tone` seconds, then silence for `silence`
// seconds, then the tone again for `back` seconds.
void WriteProgramme(const QString &path, double tone, double silence, double back) {
    std::vector<std::int16_t> frames;
    const auto add = [&](double seconds, bool sound) {
        for (long i = 0; i < std::lround(seconds * kRate); ++i) {
            const double t = static_cast<double>(frames.size() / 2) / kRate;
            frames.push_back(
                sound ? static_cast<std::int16_t>(std::lround(3276.8 * std::sin(2 * M_PI * 1000 * t))) : 0);
            frames.push_back(0);
        }
    };
    add(tone, true);
    add(silence, false);
    add(back, true);
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
    sf_close(file);
}

QJsonObject Json(const std::string &payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

} // namespace

TEST(NetFeed, ToneLevelsAtTheRateThenDeadAirAndSignalBackAsAlarmAndEvents) {
    if (!TMosquittoTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed";
    TMosquittoTestBroker broker;
    const std::string root = TopicRoot("velmora", "studio-7");
    TTestSubscriber subscriber(broker.Port(), root + "/#");

    QTemporaryDir dir;
    WriteProgramme(dir.filePath("programme.wav"), 3.0, 3.5, 30.0);
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "Programme";
    devices[0].Signal = TSimSignal::WavFile;
    devices[0].File = dir.filePath("programme.wav").toStdString();
    TSimWaveInDriver driver(devices);
    TTestSettings settings(QByteArray("[AIDS]\nDeadAir=1\nDeadAirThreshold=-50\nDeadAirDelay=2\n"
                                      "[NETWORK]\nPublish=1\nStation=studio-7\nRateHz=10\nBroker=") +
                           QByteArray::fromStdString(broker.Url()) + "\n");
    TMeterPanel panel;
    RegisterForm(&panel);
    TTestForm form(TFormServices{driver, settings.Dir(), {}});
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.MMWaveIn1->IsStarted(); }));
    EXPECT_TRUE(WaitFor([&] { return form.NetLed->Enabled(); }, 5000));

    const std::string levels = Topic(root, kLevelsLeaf), deadAir = Topic(root, kDeadAirAlarmLeaf);
    ASSERT_TRUE(WaitFor([&] { return subscriber.On(deadAir).size() >= 2; }, 15000));
    ASSERT_TRUE(WaitFor([&] { return subscriber.On(deadAir).size() >= 3; }, 10000));
    const auto alarms = subscriber.On(deadAir);
    EXPECT_EQ(Json(alarms[0].Payload)["active"], false); // the first tick's state
    EXPECT_EQ(Json(alarms[1].Payload)["active"], true);
    EXPECT_EQ(Json(alarms[2].Payload)["active"], false);
    EXPECT_LT(Json(alarms[1].Payload)["since"].toDouble(), Json(alarms[2].Payload)["since"].toDouble());
    // The console's loop must run while the test waits: the feed ticks on it.
    const auto heard = [&](std::string_view leaf, const std::string &text) {
        return WaitFor([&] { return subscriber.WaitForPayload(Topic(root, leaf), text, 0); }, 5000);
    };
    ASSERT_TRUE(heard(kEventsLeaf, "SIGNAL BACK"));
    const auto events = subscriber.On(Topic(root, kEventsLeaf));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(Json(events[0].Payload)["event"], "DEAD AIR");
    EXPECT_EQ(Json(events[0].Payload)["channel"], "LR");
    EXPECT_TRUE(Json(events[0].Payload)["peak_dbfs"].isNull());
    EXPECT_EQ(Json(events[1].Payload)["event"], "SIGNAL BACK");

    // The levels while the first tone played: -20 dBFS on the left, nothing on the right,
    // ten a second.
    std::vector<QJsonObject> tone;
    for (const auto &r : subscriber.On(levels)) {
        const QJsonObject o = Json(r.Payload);
        if (!o["peak"].toArray()[0].isNull() &&
            Json(alarms[1].Payload)["since"].toDouble() > o["t"].toDouble())
            tone.push_back(o);
    }
    ASSERT_GE(tone.size(), 15u);
    for (std::size_t i = 1; i + 1 < tone.size(); ++i) {
        EXPECT_NEAR(tone[i]["peak"].toArray()[0].toDouble(), -20.0, 0.1);
        const QJsonValue right = tone[i]["peak"].toArray()[1];
        EXPECT_TRUE(right.isNull() || right.toDouble() < -90) << right.toDouble();
    }
    const double span = tone.back()["t"].toDouble() - tone[1]["t"].toDouble();
    EXPECT_NEAR((static_cast<double>(tone.size()) - 2) * 1000 / span, 10.0, 1.0);
    EXPECT_TRUE(subscriber.On(levels).back().Retained == false);
    EXPECT_TRUE(heard(kLoudnessLeaf, "\"target\":-23"));

    form.MMWaveIn1->Close();
    form.hide();
}
