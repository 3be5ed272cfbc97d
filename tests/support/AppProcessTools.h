#pragma once
// The real vesmer binary as another program sees it, for process-level tests
// under tests/run-headless.sh: the process with its standard error, its X
// windows, its single-instance name on the session bus, and a close request as
// the window manager sends it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace AppProcessTools {

// A wallpaper's web engine starts in a few seconds here.
constexpr int kStartTimeoutMs = 20000;

// Whether a vesmer instance holds its name on the session bus.
bool instanceRegistered();

// Viewable top-level windows of `pid` (also inside a window manager's frame), each with xprop's text of its pid, type and name.
struct XWindow {
    QString id;
    QString properties;
    bool desktop() const { return properties.contains(QLatin1String("_NET_WM_WINDOW_TYPE_DESKTOP")); }
};
QList<XWindow> windowsOf(qint64 pid);
int desktopWindowsOf(qint64 pid);
// The control panel: the one ordinary window of the process.
std::optional<QString> panelOf(qint64 pid);
// What the window manager's close button sends: WM_DELETE_WINDOW.
void requestClose(const QString& window);

// One vesmer process; its standard error is collected as it comes. Ended with
// SIGTERM (then SIGKILL) when destroyed.
class VesmerProcess {
public:
    VesmerProcess(const QString& binary, const QProcessEnvironment& environment, const QStringList& arguments);
    ~VesmerProcess();
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() != QProcess::NotRunning; }
    QString standardError();
    bool waitForStderr(const QString& text, int timeoutMs);
    bool finishes(int timeoutMs) { return process.waitForFinished(timeoutMs); }
    bool showsWallpaper(int timeoutMs);

    QProcess process;

private:
    QString m_stderr;
};

}  // namespace AppProcessTools
