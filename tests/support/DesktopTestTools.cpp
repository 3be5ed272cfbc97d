#include "DesktopTestTools.h"

#include <QProcess>
#include <gtest/gtest.h>

#include "platform/qt/QtScreens.h"

namespace DesktopTestTools {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString frameOf(unsigned long long window)
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    auto field = [&info](const QString& label) {
        for (const QString& line : info.split('\n'))
            if (line.trimmed().startsWith(label))
                return line.section(':', 1).trimmed();
        return QString();
    };
    return field("Width") + "x" + field("Height") + "+" + field("Absolute upper-left X") + "+" +
           field("Absolute upper-left Y");
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
