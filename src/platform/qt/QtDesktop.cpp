#include "platform/qt/QtDesktop.h"

#include <QApplication>
#include <algorithm>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include "platform/SystemLog.h"

namespace {

struct SettingsTool {
    const char* desktop;  // the desktop it belongs to (XDG_CURRENT_DESKTOP); empty: any
    const char* program;
    QStringList arguments;
};

}  // namespace

QtDesktop::QtDesktop(SystemLog& log) : m_log(log) {}

void QtDesktop::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtDesktop::openSoundSettings()
{
    QList<SettingsTool> tools = {
        {"GNOME", "gnome-control-center", {QStringLiteral("sound")}},
        {"KDE", "systemsettings", {QStringLiteral("kcm_pulseaudio")}},
        {"", "pavucontrol", {}},
    };
    // The running desktop's own panel goes first; otherwise the order above.
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    std::stable_partition(tools.begin(), tools.end(), [&](const SettingsTool& tool) {
        return *tool.desktop && desktop.contains(QLatin1String(tool.desktop), Qt::CaseInsensitive);
    });
    QStringList tried;
    for (const SettingsTool& tool : tools) {
        const QString program = QStandardPaths::findExecutable(QLatin1String(tool.program));
        if (program.isEmpty())
            continue;
        if (QProcess::startDetached(program, tool.arguments))
            return;
        tried << program;
    }
    m_log.write(tried.isEmpty()
        ? QStringLiteral("[vesmer] no sound settings to open: none of gnome-control-center, systemsettings or "
                         "pavucontrol is installed")
        : QStringLiteral("[vesmer] no sound settings to open: could not start ") + tried.join(QStringLiteral(", ")));
}

void QtDesktop::bringToFront()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowTitle() != QLatin1String("Vesmer"))
            continue;
        if (window->isMinimized())
            window->showNormal();
        else
            window->show();
        window->raise();
        window->activateWindow();
    }
}
