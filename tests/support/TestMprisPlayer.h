#pragma once
// A media player on the session bus for tests: owns `busName` on a bus connection
// of its own (so the app's calls really cross the bus) and answers the MPRIS
// player properties from a state the test sets. It can refuse with AccessDenied or
// never answer. The bus calls it on its own thread, hence the lock.

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QStringList>
#include <QVariantMap>
#include <functional>

class TestMprisPlayer final : public QDBusVirtualObject {
    Q_OBJECT
public:
    enum class Mode { Answer, Refuse, Silent };
    struct State {
        QVariantMap metadata;
        QString status = QStringLiteral("Stopped");  // PlaybackStatus
        qint64 positionUs = 0;
        Mode mode = Mode::Answer;
        int getAllCalls = 0;
    };

    explicit TestMprisPlayer(const QString& busName);
    ~TestMprisPlayer() override;
    bool registered() const { return m_registered; }

    // Metadata of a track; a length of 0 is left out.
    static QVariantMap track(const QString& title, const QStringList& artists, const QString& album, qint64 lengthUs,
                             const QString& artUrl = {});
    void change(const std::function<void(State&)>& edit);
    State state() const;
    void sendSeeked(qint64 positionUs);

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QString m_connectionName;
    QDBusConnection m_connection;
    QString m_busName;
    bool m_registered = false;
    mutable QMutex m_mutex;
    State m_state;
};
