#pragma once
// A media player on the session bus for tests: owns `busName` on a connection of
// its own (so that the app's calls really cross the bus) and answers the MPRIS
// player properties from values the test sets. It can refuse every call with
// AccessDenied, or never answer at all. The bus answers from its own thread, so
// the state is locked; setters may be called at any time.

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class TestMprisPlayer final : public QDBusVirtualObject {
    Q_OBJECT
public:
    enum class Mode { Answer, Refuse, Silent };

    explicit TestMprisPlayer(const QString& busName);
    ~TestMprisPlayer() override;
    bool registered() const { return m_registered; }

    // A track; a length of 0 leaves mpris:length out.
    void setTrack(const QString& title, const QStringList& artists, const QString& album, qint64 lengthUs,
                  const QString& artUrl = {});
    void setMetadata(const QVariantMap& metadata);
    void setStatus(const QString& playbackStatus);  // "Playing", "Paused", "Stopped"
    void setPositionUs(qint64 position);
    void setMode(Mode mode);
    void seek(qint64 positionUs);  // sets the position and sends Seeked
    int getAllCalls() const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QString m_connectionName;
    QDBusConnection m_connection;
    QString m_busName;
    bool m_registered = false;
    mutable QMutex m_mutex;
    QVariantMap m_metadata;
    QString m_status = QStringLiteral("Stopped");
    qint64 m_position = 0;
    Mode m_mode = Mode::Answer;
    int m_getAllCalls = 0;
};
