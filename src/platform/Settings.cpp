#include "platform/Settings.h"

#include <QSettings>

#include "platform/XdgPaths.h"

Settings::Settings(const QString& iniPath, QObject* parent)
    : QObject(parent), m_store(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

QString Settings::defaultPath()
{
    return XdgPaths::configHome() + QStringLiteral("/Vesmer/Vesmer.conf");
}

void Settings::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_defaults.insert(it.key(), it.value());
}

bool Settings::hasOwnValue(const QString& key) const
{
    return m_store->contains(key);
}

QVariant Settings::value(const QString& key) const
{
    if (m_store->contains(key))
        return m_store->value(key);
    return m_defaults.value(key);
}

void Settings::setValue(const QString& key, const QVariant& value)
{
    m_store->setValue(key, value);
    m_store->sync();
    emit changed(key);
}

void Settings::remove(const QString& key)
{
    m_store->remove(key);
    m_store->sync();
    emit changed(key);
}

double Settings::doubleValue(const QString& key, double fallback) const
{
    bool ok = false;
    const double v = value(key).toDouble(&ok);
    return ok ? v : fallback;
}

int Settings::intValue(const QString& key, int fallback) const
{
    bool ok = false;
    const int v = value(key).toInt(&ok);
    return ok ? v : fallback;
}

bool Settings::boolValue(const QString& key, bool fallback) const
{
    const QVariant v = value(key);
    return v.isValid() ? v.toBool() : fallback;
}

QString Settings::stringValue(const QString& key, const QString& fallback) const
{
    const QVariant v = value(key);
    return v.isValid() ? v.toString() : fallback;
}

QString Settings::fileName() const
{
    return m_store->fileName();
}
