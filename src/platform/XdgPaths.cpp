#include "platform/XdgPaths.h"

#include <QDir>

namespace {

QString baseFolder(const char* variable, const QString& defaultBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + defaultBelowHome;
}

}  // namespace

namespace XdgPaths {

QString configHome()
{
    return baseFolder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString dataHome()
{
    return baseFolder("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString stateHome()
{
    return baseFolder("XDG_STATE_HOME", QStringLiteral("/.local/state"));
}

}  // namespace XdgPaths
