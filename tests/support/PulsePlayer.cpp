#include "PulsePlayer.h"

#include <cmath>

PulsePlayer::PulsePlayer(QString device) : m_device(std::move(device)) {}

PulsePlayer::~PulsePlayer()
{
    stop();
}

bool PulsePlayer::play(const std::vector<float>& samples)
{
    stop();
    QStringList arguments{"--playback", "--raw", "--latency-msec=10",
                          "--format=float32le", "--channels=1", "--rate=48000"};
    if (!m_device.isEmpty())
        arguments << QStringLiteral("--device=%1").arg(m_device);
    m_process.start(QStringLiteral("pacat"), arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    m_process.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)));
    m_process.closeWriteChannel();
    return true;
}

void PulsePlayer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();  // TERM, never KILL: pacat must close its stream
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
}

bool PulsePlayer::pactl(const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return true;
}

std::vector<float> PulsePlayer::tone(double hz, float amplitude, double seconds, double periodSeconds,
    double onSeconds, int rate)
{
    std::vector<float> out(size_t(seconds * rate), 0.0f);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        if (periodSeconds > 0.0 && std::fmod(t, periodSeconds) >= onSeconds)
            continue;
        out[i] = amplitude * float(std::sin(2.0 * M_PI * hz * t));
    }
    return out;
}
