#pragma once
// Plays float32 mono samples at 48 kHz into a sink of the PulseAudio server the test
// process talks to (PULSE_SERVER / XDG_RUNTIME_DIR), through pacat with 10 ms of
// latency, and runs pactl. Test code only: these calls may block for a moment.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

class PulsePlayer {
public:
    // `device` empty: the server's default sink.
    explicit PulsePlayer(QString device = {});
    ~PulsePlayer();
    PulsePlayer(const PulsePlayer&) = delete;
    PulsePlayer& operator=(const PulsePlayer&) = delete;

    // Starts playing `samples`; false if pacat did not start.
    bool play(const std::vector<float>& samples);
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
    QProcess m_process;
};
