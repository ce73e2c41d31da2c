#include "analysis/LoudnessSession.h"
#include "common/ToneSamples.h"

#include <gtest/gtest.h>

// A second of audio makes a history reading, a minute of it a log record whose peak and
// short-term maxima are that minute's own while the integration runs on since the reset.
// (The level falls a second before the minute ends: the true peak's interpolation carries
// the louder tone a little past the change.)
TEST(LoudnessSession, HistoryBySecondAndLogByMinuteOfAudio) {
    std::time_t now = 1000;
    TLoudnessSession session(2, 48000, [&] { return now += 60; });
    const std::vector<std::int16_t> samples = ToneSamples({{-20, 59}, {-30, 71}});
    // Cut as capture cuts it: 2048 frames a buffer, which no second boundary falls on.
    for (std::size_t at = 0; at < samples.size(); at += 4096)
        session.AddFrames(&samples[at], std::min<std::size_t>(4096, samples.size() - at) / 2);

    EXPECT_EQ(session.History().Count(), 130u);
    const std::vector<double> hour = session.History().Points(3600, 100);
    EXPECT_EQ(hour[95], kNoLoudness); // before the start
    EXPECT_NEAR(hour[99], -30.0, 0.1);
    const std::vector<double> twoMinutes = session.History().Points(120, 4);
    EXPECT_NEAR(twoMinutes[0], -20.0, 0.1);
    EXPECT_NEAR(twoMinutes[3], -30.0, 0.1);

    const std::vector<TLoudnessMinute> minutes = session.TakeMinutes();
    ASSERT_EQ(minutes.size(), 2u);
    EXPECT_EQ(minutes[0].Time, 1060);
    EXPECT_NEAR(minutes[0].Integrated, -20.0, 0.1);
    EXPECT_NEAR(minutes[0].MaxTruePeak, -20.0, 0.2);
    EXPECT_EQ(minutes[1].Time, 1120);
    EXPECT_NEAR(minutes[1].Integrated, -22.7, 0.1); // 59 s at -20 LUFS, 61 s at -30
    EXPECT_NEAR(minutes[1].MaxTruePeak, -30.0, 0.2);
    EXPECT_TRUE(session.TakeMinutes().empty());

    const TLoudnessReading reading = session.Reading();
    EXPECT_TRUE(reading.Measuring && reading.Running);
    EXPECT_NEAR(reading.ShortTerm, -30.0, 0.1);
    EXPECT_NEAR(reading.TruePeakL, -20.0, 0.2);
    EXPECT_NEAR(reading.Seconds, 130.0, 1e-9);
}
