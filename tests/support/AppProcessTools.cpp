#include "AppProcessTools.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <algorithm>
#include <cstring>
#include <xcb/xcb.h>

#include "DesktopTestTools.h"
#include "WebEngineHarness.h"

using DesktopTestTools::run;
using WebEngineHarness::waitFor;

namespace AppProcessTools {

bool instanceRegistered()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("app.vesmer.Vesmer"));
}

QList<XWindow> windowsOf(qint64 pid)
{
    QList<XWindow> found;
    const QString ids = run("xdotool", {"search", "--maxdepth", "2", "--onlyvisible", "--pid", QString::number(pid), ""});
    for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
        const QString properties = run("xprop", {"-id", id, "_NET_WM_PID", "_NET_WM_WINDOW_TYPE", "_NET_WM_NAME"});
        if (properties.startsWith(QStringLiteral("_NET_WM_PID(CARDINAL) = %1\n").arg(pid)))
            found << XWindow{id, properties};
    }
    return found;
}

int desktopWindowsOf(qint64 pid)
{
    const auto windows = windowsOf(pid);
    return int(std::count_if(windows.begin(), windows.end(), [](const XWindow& w) { return w.desktop(); }));
}

std::optional<QString> panelOf(qint64 pid)
{
    for (const XWindow& window : windowsOf(pid))
        if (!window.desktop())
            return window.id;
    return std::nullopt;
}

void requestClose(const QString& window)
{
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    auto atom = [x](const char* name) {
        auto* reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return value;
    };
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window.toUInt();
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    xcb_send_event(x, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // a round trip: the event is sent
    xcb_disconnect(x);
}

VesmerProcess::VesmerProcess(const QString& binary, const QProcessEnvironment& environment, const QStringList& arguments)
{
    process.setProcessEnvironment(environment);
    process.start(binary, arguments);
}

VesmerProcess::~VesmerProcess()
{
    process.terminate();
    if (running() && !process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(2000);
}

QString VesmerProcess::standardError()
{
    return m_stderr += QString::fromUtf8(process.readAllStandardError());
}

bool VesmerProcess::waitForStderr(const QString& text, int timeoutMs)
{
    waitFor([&] { return standardError().contains(text) || !running(); }, timeoutMs);
    return standardError().contains(text);
}

bool VesmerProcess::showsWallpaper(int timeoutMs)
{
    return waitFor([&] { return desktopWindowsOf(pid()) > 0 || !running(); }, timeoutMs) && desktopWindowsOf(pid()) > 0;
}

}  // namespace AppProcessTools
