#pragma once
// Starts the built-in composer when the app needs it. At start-up, when the
// configuration uses the built-in base URL and nothing answers /healthz there, it
// runs vesmer-composer as a child process, waits until it answers, and, when no
// key is configured, asks it for one (`vesmer-composer keys issue`, on the same
// database) and hands that key on, the same way a sign-in callback does. It ends
// the child when it is destroyed. Whatever happens, it writes one "[vesmer] "
// line. Main thread only.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "compose/BackendOrigin.h"
#include "platform/MainQueue.h"
#include "platform/SystemLog.h"

class ComposerLauncher {
public:
    enum class State {
        Idle,
        NotNeeded,        // the configuration uses another backend
        Probing,          // asking /healthz
        AlreadyRunning,   // a composer answers there; not ours
        PortHeld,         // something that is not a composer answers there
        Starting,         // our child is starting
        IssuingKey,       // asking our child's database for a key
        Running,          // our child answers
        Failed,           // no program, or it did not come up
    };

    // `programs`: where to look for vesmer-composer, in order (see
    // defaultPrograms). `keyIssued` receives a freshly issued key. `origin` is the
    // built-in origin; tests give another port.
    ComposerLauncher(MainQueue& queue, SystemLog& log, QStringList programs, std::function<void(QString key)> keyIssued,
                     QString origin = QString::fromLatin1(kBuiltInBackendOrigin));
    ~ComposerLauncher();
    ComposerLauncher(const ComposerLauncher&) = delete;
    ComposerLauncher& operator=(const ComposerLauncher&) = delete;

    // Once, at start-up: the configured base URL and whether a key is configured.
    // `answering` runs when our child answers with a key already configured: a
    // key check sent before then reached nothing.
    void start(const QString& configuredBaseUrl, bool keyConfigured, std::function<void()> answering = {});
    // Ends our child, if any (also done by the destructor).
    void stop();

    State state() const;
    qint64 childPid() const;  // 0 when there is no child of ours

    // Beside the app's own binary, then the install prefix's libexec.
    static QStringList defaultPrograms(const QString& appDir, const QString& installPrefix);

    static constexpr double kProbeSeconds = 1.5;
    static constexpr double kStartSeconds = 8.0;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
