#pragma once
// The user defaults store: values the user set, over defaults registered at start-up.
// Registered defaults are never written to the file. Main thread only.
// The app uses the INI file of defaultPath(); tests give each test its own file.

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class QSettings;

class Settings : public QObject {
    Q_OBJECT
public:
    explicit Settings(const QString& iniPath, QObject* parent = nullptr);
    ~Settings() override;

    // $XDG_CONFIG_HOME/Vesmer/Vesmer.conf (default ~/.config/Vesmer/Vesmer.conf).
    static QString defaultPath();

    void registerDefaults(const QVariantMap& defaults);
    bool hasOwnValue(const QString& key) const;
    // The user's own value, else the registered default, else an invalid QVariant.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);

    // Typed reads; `fallback` when the key has neither an own value nor a default
    // or does not convert.
    double doubleValue(const QString& key, double fallback = 0.0) const;
    int intValue(const QString& key, int fallback = 0) const;
    bool boolValue(const QString& key, bool fallback = false) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;

    QString fileName() const;

signals:
    void changed(const QString& key);

private:
    std::unique_ptr<QSettings> m_store;
    QVariantMap m_defaults;
};
