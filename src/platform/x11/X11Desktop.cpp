#include "platform/x11/X11Desktop.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

std::vector<uint32_t> property32(xcb_connection_t* connection, uint32_t window, xcb_atom_t property,
                                 xcb_atom_t type)
{
    std::vector<uint32_t> values;
    const auto cookie = xcb_get_property(connection, 0, window, property, type, 0, 4096);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (reply && reply->format == 32 && reply->type == type) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return values;
}

xcb_connection_t* qtConnection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

struct X11Desktop::Atoms {
    xcb_atom_t stacking, clientList, state, fullscreen, maxVert, maxHorz, hidden, pid;
    explicit Atoms(xcb_connection_t* c)
        : stacking(intern(c, "_NET_CLIENT_LIST_STACKING")),
          clientList(intern(c, "_NET_CLIENT_LIST")),
          state(intern(c, "_NET_WM_STATE")),
          fullscreen(intern(c, "_NET_WM_STATE_FULLSCREEN")),
          maxVert(intern(c, "_NET_WM_STATE_MAXIMIZED_VERT")),
          maxHorz(intern(c, "_NET_WM_STATE_MAXIMIZED_HORZ")),
          hidden(intern(c, "_NET_WM_STATE_HIDDEN")),
          pid(intern(c, "_NET_WM_PID"))
    {
    }
};

void X11Desktop::markAsDesktop(WId window)
{
    xcb_connection_t* c = qtConnection();
    if (!c || !window)
        return;
    const auto id = uint32_t(window);
    const xcb_atom_t type = intern(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t desktopType = intern(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, type, XCB_ATOM_ATOM, 32, 1, &desktopType);
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, intern(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    const xcb_atom_t states[] = {intern(c, "_NET_WM_STATE_STICKY"), intern(c, "_NET_WM_STATE_BELOW"),
                                 intern(c, "_NET_WM_STATE_SKIP_TASKBAR"), intern(c, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, intern(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        uint32_t(std::size(states)), states);
    xcb_flush(c);
}

X11Desktop::X11Desktop(const QRect& screenFrame, QObject* parent) : QObject(parent), m_screenFrame(screenFrame)
{
    if (!qtConnection())
        return;
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_atoms = std::make_unique<Atoms>(m_connection);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11Desktop::readEvents);
    recheck();
}

X11Desktop::~X11Desktop()
{
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11Desktop::readEvents()
{
    // Replies read during a recheck can pull events into xcb's queue without the
    // socket becoming readable again, so drain the queue until it stays empty.
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        any = true;
        free(event);
    }
    while (any) {
        recheck();
        any = false;
        while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
            any = true;
            free(event);
        }
    }
}

void X11Desktop::recheck()
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return;
    const Atoms& atoms = *m_atoms;
    std::vector<uint32_t> windows = property32(m_connection, m_root, atoms.stacking, XCB_ATOM_WINDOW);
    if (windows.empty())
        windows = property32(m_connection, m_root, atoms.clientList, XCB_ATOM_WINDOW);

    bool covered = false;
    for (uint32_t window : windows) {
        if (!m_watched.contains(window)) {
            // A window going fullscreen changes its own state and geometry, not
            // necessarily the stacking list.
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
            m_watched.insert(window);
        }
        const std::vector<uint32_t> pid = property32(m_connection, window, atoms.pid, XCB_ATOM_CARDINAL);
        if (!pid.empty() && pid.front() == uint32_t(getpid()))
            continue;
        const std::vector<uint32_t> states = property32(m_connection, window, atoms.state, XCB_ATOM_ATOM);
        auto has = [&states](xcb_atom_t atom) { return std::find(states.begin(), states.end(), atom) != states.end(); };
        if (has(atoms.hidden) || !(has(atoms.fullscreen) || (has(atoms.maxVert) && has(atoms.maxHorz))))
            continue;
        if (isCovering(window)) {
            covered = true;
            break;
        }
    }
    // Forget windows that left the list (the server drops their selections itself).
    for (auto it = m_watched.begin(); it != m_watched.end();)
        it = std::find(windows.begin(), windows.end(), *it) == windows.end() ? m_watched.erase(it) : std::next(it);
    xcb_flush(m_connection);

    if (covered != m_covered) {
        m_covered = covered;
        emit coveredChanged();
    }
}

bool X11Desktop::isCovering(uint32_t window)
{
    const auto attributesCookie = xcb_get_window_attributes(m_connection, window);
    const auto geometryCookie = xcb_get_geometry(m_connection, window);
    const auto originCookie = xcb_translate_coordinates(m_connection, window, m_root, 0, 0);
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(m_connection, attributesCookie, nullptr);
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(m_connection, geometryCookie, nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(m_connection, originCookie, nullptr);
    bool covering = false;
    // Unviewable: minimised or on another workspace. The window belongs to the
    // screen that holds its centre, as window managers place it.
    if (attributes && geometry && origin && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
        const QPoint centre(origin->dst_x + geometry->width / 2, origin->dst_y + geometry->height / 2);
        covering = m_screenFrame.contains(centre);
    }
    free(attributes);
    free(geometry);
    free(origin);
    return covering;
}
