#include "PrivateHome.h"

#include <QDir>

PrivateHome::PrivateHome()
{
    if (!m_dir.isValid())
        return;
    qputenv("HOME", m_dir.path().toUtf8());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString path = m_dir.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        qputenv(name, path.toUtf8());
    }
}
