#pragma once
// Plays float32 mono samples into a sink of the PulseAudio server the test process
// talks to (PULSE_SERVER / XDG_RUNTIME_DIR), through pacat (10 ms latency unless
// asked otherwise), and runs pactl. Test code only: these calls may block for a moment.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

class PulsePlayer {
public:
    // `device` empty: the server's default sink. A player that must not run dry
    // while the machine is loaded asks for more latency.
    explicit PulsePlayer(QString device = {}, int latencyMs = 10);
    ~PulsePlayer();
    PulsePlayer(const PulsePlayer&) = delete;
    PulsePlayer& operator=(const PulsePlayer&) = delete;

    // Starts playing `samples` (mono, `rate` Hz); false if pacat did not start.
    bool play(const std::vector<float>& samples, int rate = 48000);
    void stop();

    // Runs pactl with `arguments`; true when it succeeded, with its standard output
    // in `output` if given.
    static bool pactl(const QStringList& arguments, QString* output = nullptr);

    // A sine of `seconds`; a burst train keeps only the first `onSeconds` of every
    // `periodSeconds` (0: continuous).
    static std::vector<float> tone(double hz, float amplitude, double seconds, double periodSeconds = 0.0,
        double onSeconds = 0.0, int rate = 48000);

private:
    QString m_device;
    int m_latencyMs;
    QProcess m_process;
};
