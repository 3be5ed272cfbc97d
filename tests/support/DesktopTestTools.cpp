#include "DesktopTestTools.h"

#include <QProcess>
#include <gtest/gtest.h>

#include "platform/QtScreens.h"

namespace DesktopTestTools {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

ScreenInfo screenNamed(const QString& name)
{
    for (const ScreenInfo& screen : QtScreens().list())
        if (screen.name == name)
            return screen;
    ADD_FAILURE() << "no screen named " << name.toStdString();
    return {};
}

}  // namespace DesktopTestTools
