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

// Two seconds of clicks at 100 BPM, stereo at 16 kHz: a short decaying 80 Hz thump
// on every beat, silence between.
QString writeClickTrack(const QString& dir)
{
    constexpr int kRate = 16000;
    const QString path = dir + QStringLiteral("/clicks.wav");
    SF_INFO info{0, kRate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr);
    std::vector<float> data(2 * 2 * kRate);
    for (size_t i = 0; i < data.size(); ++i) {
        const double sinceBeat = std::fmod(double(i / 2), 0.6 * kRate) / kRate;
        data[i] = sinceBeat < 0.08 ? float(0.8 * std::exp(-sinceBeat * 40) * std::sin(2 * M_PI * 80 * sinceBeat)) : 0.0f;
    }
    sf_writef_float(file, data.data(), sf_count_t(data.size() / 2));
    sf_close(file);
    return path;
}

// Runs vesmer-analyze to the end: its exit code (-1 when it did not end normally) and output.
struct Analysis {
    int code;
    QString out, err;
};
Analysis analyse(const QStringList& arguments)
{
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vesmer-analyze"), arguments);
    const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(OfflineAnalysis, RowsFollowTheTickScheduleAndReadBackExactly)
{
    QTemporaryDir dir;
    const QString path = writeClickTrack(dir.path());
    std::vector<AnalysisTick> ticks;
    std::string error;
    const auto summary = analyseFile(path.toStdString(), [&](const AnalysisTick& t) { ticks.push_back(t); }, error);
    ASSERT_TRUE(summary) << error;
    ASSERT_EQ(ticks.size(), 60u) << "ticks at 1/30 s while frames remain";
    EXPECT_EQ(ticks[0].features, AudioFeatures{}) << "533 frames, less than a window: all zeros";
    EXPECT_NE(ticks[1].features, AudioFeatures{});

    const QStringList lines = analyse({path}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 61);
    EXPECT_EQ(lines[0], QStringLiteral("tick,time,bass,mid,treble,level,beat,centroid,flux,energy,bpm"));
    const QStringList row = lines[10].split(QLatin1Char(','));
    ASSERT_EQ(row.size(), 11);
    EXPECT_EQ(row[0].toInt(), 10);
    EXPECT_EQ(row[2].toFloat(), ticks[9].features.bass) << "%.9g reads back to the same float";
    EXPECT_EQ(analyse({path, QStringLiteral("--summary")}).out, QStringLiteral("bpm=0 first_bpm_at=none\n"));
}

TEST(OfflineAnalysis, UnreadableFilesFailWithOneLineAndStatusTwo)
{
    QTemporaryDir dir;
    QFile text(dir.filePath(QStringLiteral("notes.wav")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are not samples\n");
    text.close();

    for (const QString& path : {dir.filePath(QStringLiteral("missing.wav")), text.fileName()}) {
        SCOPED_TRACE(path.toStdString());
        const Analysis run = analyse({path, QStringLiteral("--summary")});
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(path)) << run.err.toStdString();
    }
}
