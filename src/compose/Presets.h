#pragma once
// Saved scenes: the graph on screen kept under a short name, the list stored in
// the settings under "presets" as one JSON array, applied again with one click.
// A stored list that cannot be read starts empty, and is first copied once to
// "presets.unreadable" so that the next save cannot destroy the only copy.
// Main thread only.

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>

class Settings;
class WallpaperPlacement;

struct Preset {
    QUuid id;
    QString name;   // at most kMaxName characters when made by save
    QString graph;  // JSON text, exactly as the page returned it
    bool operator==(const Preset&) const = default;
};

class Presets : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPresets = 12;
    static constexpr int kMaxName = 48;

    Presets(Settings& settings, const WallpaperPlacement& placement, QObject* parent = nullptr);

    const QList<Preset>& list() const { return m_list; }

    // Saves the page's current graph; `nameSource` is the automatic-scene label,
    // else the last prompt (empty: "Scene N").
    void save(const QString& nameSource);
    void apply(const Preset& preset);
    void remove(const QUuid& id);
    void persist();

    // The stored blob's form; none when it cannot be decoded.
    static QByteArray encode(const QList<Preset>& presets);
    static std::optional<QList<Preset>> decode(const QByteArray& blob);

signals:
    void listChanged();
    void statusChanged(const QString& status);
    void sceneApplied();

private:
    void load();

    Settings& m_settings;
    const WallpaperPlacement& m_placement;
    QList<Preset> m_list;
};
