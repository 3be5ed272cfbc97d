#include <gtest/gtest.h>

#include "panel/AudioSection.h"
#include "panel/LevelMeter.h"

TEST(AudioSection, StatusLineFollowsTheFirstRuleThatApplies)
{
    const double limit = AudioSection::kSilenceWarningSeconds;
    const QString listening = QStringLiteral("Listening to everything this computer plays");
    const QString error = QStringLiteral("pa_connect failed (-6)");
    const struct {
        const char* name;
        AudioSection::StatusInputs in;
        QString text;
        bool offersSettings;
    } rows[] = {
        {"silent for exactly the limit", {{}, true, false, limit, true}, listening, false},
        {"just over, a track playing", {{}, true, false, limit + 0.01, true},
         QStringLiteral("Music is playing but Vesmer can't hear it \u2014 make sure it plays on the default output."), true},
        {"just over, nothing playing", {{}, true, false, limit + 0.01, false},
         QStringLiteral("No audio detected \u2014 play something and the visuals react."), false},
        {"a signal was seen once", {{}, true, true, limit + 5, true}, listening, false},
        {"not capturing", {{}, false, false, limit + 5, true}, QStringLiteral("Starts automatically with the wallpaper"), false},
        {"an error beats everything", {error, true, false, limit + 5, true}, error, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(AudioSection::statusFor(row.in).text, row.text);
        EXPECT_EQ(AudioSection::statusFor(row.in).offersSettings, row.offersSettings);
    }
}

TEST(AudioSection, TempoAndLevelBar)
{
    for (const auto& [bpm, text] : {std::pair{0.0, "\u2014"}, {127.5, "128 BPM"}, {127.49, "127 BPM"}})
        EXPECT_EQ(AudioSection::tempoText(bpm), QString::fromUtf8(text)) << bpm;

    LevelMeter meter;
    meter.resize(160, 14);
    EXPECT_EQ(meter.barWidth(), 4.0) << "silence still shows a dot";
    meter.setLevel(0.5f);
    EXPECT_EQ(meter.barWidth(), 160.0);
    meter.setLevel(0.1f);
    EXPECT_NEAR(meter.barWidth(), 160 * 0.22, 1e-4);
    meter.setLevel(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(meter.barWidth(), 4.0);
}
