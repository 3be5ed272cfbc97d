#pragma once
// One Vesmer per session. The first process owns a well-known name on the session
// bus and serves org.freedesktop.Application there; a later process hands its URL
// arguments (or a plain activation) to it and exits. Main thread only; claim()
// blocks for at most a few seconds and is meant for start-up, before any window.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    static constexpr const char* kServiceName = "app.vesmer.Vesmer";
    static constexpr const char* kObjectPath = "/app/vesmer/Vesmer";

    enum class Role {
        Primary,     // this process is the instance; hand-overs arrive as signals
        HandedOver,  // the running instance took the URLs: exit 0
        Standalone,  // no session bus: run alone, nobody can hand over to us
        Failed,      // an instance holds the name but does not answer
    };

    explicit SingleInstance(QObject* parent = nullptr);

    // Hands `urls` to a running instance; if none answers, becomes the instance
    // atomically (the bus grants the name to one process only); if another
    // process won that race, hands over to it instead.
    Role claim(const QStringList& urls);
    // Why claim() gave Standalone or Failed, one line.
    QString problem() const { return m_problem; }

public slots:
    // org.freedesktop.Application, called by later launches and by launchers.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& action, const QVariantList& parameter,
                                     const QVariantMap& platformData);

signals:
    void activated();
    void urlsOpened(const QStringList& urls);

private:
    enum class HandOver { Done, NobodyThere, NoAnswer };
    HandOver handOver(const QStringList& urls);
    bool becomePrimary();

    QString m_problem;
};
