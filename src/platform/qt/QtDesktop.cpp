#include "platform/qt/QtDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

namespace {

struct SettingsTool {
    const char* desktop;  // preferred on this desktop (XDG_CURRENT_DESKTOP); empty: anywhere
    const char* program;
    QStringList arguments;
};

}  // namespace

void QtDesktop::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtDesktop::openSoundSettings()
{
    const QList<SettingsTool> tools = {
        {"GNOME", "gnome-control-center", {QStringLiteral("sound")}},
        {"KDE", "systemsettings", {QStringLiteral("kcm_pulseaudio")}},
        {"", "pavucontrol", {}},
    };
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    // The desktop's own tool first, then the generic mixer.
    for (const bool ownDesktopPass : {true, false}) {
        for (const SettingsTool& tool : tools) {
            const QString name = QLatin1String(tool.desktop);
            const bool ownDesktop = !name.isEmpty() && desktop.contains(name, Qt::CaseInsensitive);
            if (ownDesktopPass != ownDesktop || (!ownDesktopPass && !name.isEmpty()))
                continue;
            const QString program = QStandardPaths::findExecutable(QLatin1String(tool.program));
            if (!program.isEmpty() && QProcess::startDetached(program, tool.arguments))
                return;
        }
    }
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
