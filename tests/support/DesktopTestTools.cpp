#include "DesktopTestTools.h"

#include <QProcess>
#include <QRegularExpression>
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
    const auto field = [&info](const QString& label) {
        return QRegularExpression(label + QStringLiteral(":\\s*(\\S+)")).match(info).captured(1);
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
