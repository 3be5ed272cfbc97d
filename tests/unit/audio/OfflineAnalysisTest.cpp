#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <vector>

#include "OfflineAnalysis.h"

namespace {

// A click track: a short decaying 80 Hz thump on every beat, silence between.
QString writeClickTrack(const QString& dir, double bpm, double seconds, int channels, int rate = 48000)
{
    const QString path = dir + QStringLiteral("/clicks.wav");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr);
    const long frames = long(seconds * rate);
    const double beatFrames = 60.0 / bpm * rate;
    std::vector<float> data(size_t(frames) * size_t(channels));
    for (long i = 0; i < frames; ++i) {
        const double sinceBeat = std::fmod(double(i), beatFrames) / rate;
        const float v = sinceBeat < 0.08 ? float(0.8 * std::exp(-sinceBeat * 40) * std::sin(2 * M_PI * 80 * sinceBeat)) : 0.0f;
        for (int c = 0; c < channels; ++c)
            data[size_t(i * channels + c)] = v;
    }
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
    return path;
}

// Runs vesmer-analyze to the end; its standard output and error are read from `process`.
void analyse(QProcess& process, const QStringList& arguments)
{
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vesmer-analyze"), arguments);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}

}  // namespace

TEST(OfflineAnalysis, FindsTheTempoOfAClickTrackInTime)
{
    QTemporaryDir dir;
    const QString path = writeClickTrack(dir.path(), 120.0, 30.0, 2);

    QProcess process;
    ASSERT_NO_FATAL_FAILURE(analyse(process, {path, QStringLiteral("--summary")}));
    EXPECT_EQ(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    const QStringList parts = out.split(QLatin1Char(' '));
    ASSERT_EQ(parts.size(), 2) << out.toStdString();
    const double bpm = parts[0].section(QLatin1Char('='), 1).toDouble();
    const double firstAt = parts[1].section(QLatin1Char('='), 1).toDouble();
    EXPECT_NEAR(bpm, 120.0, 1.0) << out.toStdString();
    EXPECT_GE(firstAt, 12.0);
    EXPECT_LE(firstAt, 17.0);
}

TEST(OfflineAnalysis, RowsFollowTheTickScheduleAndReadBackExactly)
{
    QTemporaryDir dir;
    const QString path = writeClickTrack(dir.path(), 100.0, 2.0, 1, 16000);
    std::vector<AnalysisTick> ticks;
    std::string error;
    const auto summary = analyseFile(path.toStdString(), [&](const AnalysisTick& t) { ticks.push_back(t); }, error);
    ASSERT_TRUE(summary) << error;
    ASSERT_EQ(ticks.size(), 60u) << "ticks at 1/30 s while frames remain";
    EXPECT_EQ(ticks[0].features, AudioFeatures{}) << "533 frames, less than a window: all zeros";
    EXPECT_NE(ticks[1].features, AudioFeatures{});

    QProcess process;
    ASSERT_NO_FATAL_FAILURE(analyse(process, {path}));
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 61);
    EXPECT_EQ(lines[0], QStringLiteral("tick,time,bass,mid,treble,level,beat,centroid,flux,energy,bpm"));
    const QStringList row = lines[10].split(QLatin1Char(','));
    ASSERT_EQ(row.size(), 11);
    EXPECT_EQ(row[0].toInt(), 10);
    EXPECT_EQ(row[2].toFloat(), ticks[9].features.bass) << "%.9g reads back to the same float";
    EXPECT_EQ(row[9].toFloat(), ticks[9].features.energy);
}

TEST(OfflineAnalysis, UnreadableFilesFailWithOneLineAndStatusTwo)
{
    QTemporaryDir dir;
    QFile empty(dir.filePath(QStringLiteral("empty.wav"))), text(dir.filePath(QStringLiteral("notes.wav")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly) && text.open(QIODevice::WriteOnly));
    text.write("these are not samples\n");
    empty.close();
    text.close();

    for (const QString& path : {dir.filePath(QStringLiteral("missing.wav")), empty.fileName(), text.fileName()}) {
        SCOPED_TRACE(path.toStdString());
        QProcess process;
        ASSERT_NO_FATAL_FAILURE(analyse(process, {path, QStringLiteral("--summary")}));
        EXPECT_EQ(process.exitCode(), 2);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(path)) << err.toStdString();
    }
}
