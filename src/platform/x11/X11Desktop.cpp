#include "platform/x11/X11Desktop.h"

#include <QGuiApplication>
#include <QRegion>
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

struct X11Stacking::Atoms {
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

X11Stacking::X11Stacking(QObject* parent) : QObject(parent)
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
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11Stacking::readEvents);
    read();
}

X11Stacking::~X11Stacking()
{
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11Stacking::readEvents()
{
    // Windows change other properties all the time (user time, titles); errors
    // come from windows that went away while being read, which the list will say.
    const Atoms& atoms = *m_atoms;
    auto matters = [&atoms](const xcb_generic_event_t& event) {
        switch (event.response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const xcb_atom_t atom = reinterpret_cast<const xcb_property_notify_event_t&>(event).atom;
            return atom == atoms.stacking || atom == atoms.clientList || atom == atoms.state;
        }
        case XCB_CONFIGURE_NOTIFY:
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
        case XCB_REPARENT_NOTIFY:
        case XCB_DESTROY_NOTIFY:
            return true;
        default:
            return false;
        }
    };
    // Replies read during a read() can pull events into xcb's queue without the
    // socket becoming readable again, so drain the queue until it stays empty.
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        any = matters(*event) || any;
        free(event);
    }
    while (any) {
        read();
        any = false;
        while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
            any = matters(*event) || any;
            free(event);
        }
    }
}

void X11Stacking::read()
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return;
    const Atoms& atoms = *m_atoms;
    std::vector<uint32_t> ids = property32(m_connection, m_root, atoms.stacking, XCB_ATOM_WINDOW);
    if (ids.empty())
        ids = property32(m_connection, m_root, atoms.clientList, XCB_ATOM_WINDOW);

    std::vector<StackedWindow> windows;
    windows.reserve(ids.size());
    for (const uint32_t id : ids) {
        if (!m_watched.contains(id)) {
            // A window going fullscreen or moving changes its own state and
            // geometry, not necessarily the stacking list.
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_connection, id, XCB_CW_EVENT_MASK, &mask);
            m_watched.insert(id);
        }
        const auto attributesCookie = xcb_get_window_attributes(m_connection, id);
        const auto geometryCookie = xcb_get_geometry(m_connection, id);
        const auto originCookie = xcb_translate_coordinates(m_connection, id, m_root, 0, 0);
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(m_connection, attributesCookie, nullptr);
        xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(m_connection, geometryCookie, nullptr);
        xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(m_connection, originCookie, nullptr);

        StackedWindow window;
        window.id = id;
        if (geometry && origin)
            window.frame = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        window.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        free(geometry);
        free(origin);
        const std::vector<uint32_t> pid = property32(m_connection, id, atoms.pid, XCB_ATOM_CARDINAL);
        window.ownProcess = !pid.empty() && pid.front() == uint32_t(getpid());
        const std::vector<uint32_t> states = property32(m_connection, id, atoms.state, XCB_ATOM_ATOM);
        auto has = [&states](xcb_atom_t atom) { return std::find(states.begin(), states.end(), atom) != states.end(); };
        window.hidden = has(atoms.hidden);
        window.fullscreen = has(atoms.fullscreen);
        window.maximised = has(atoms.maxVert) && has(atoms.maxHorz);
        windows.push_back(window);
    }
    // Forget windows that left the list (the server drops their selections itself).
    for (auto it = m_watched.begin(); it != m_watched.end();)
        it = std::find(ids.begin(), ids.end(), *it) == ids.end() ? m_watched.erase(it) : std::next(it);
    xcb_flush(m_connection);

    if (windows != m_windows) {
        m_windows = std::move(windows);
        emit changed();
    }
}

bool X11Stacking::completelyCovered(uint32_t window) const
{
    auto it = std::find_if(m_windows.begin(), m_windows.end(), [window](const StackedWindow& w) { return w.id == window; });
    if (it == m_windows.end() || it->frame.isEmpty())
        return false;
    QRegion uncovered(it->frame);
    for (++it; it != m_windows.end() && !uncovered.isEmpty(); ++it)
        if (it->viewable && !it->hidden)
            uncovered -= it->frame;
    return uncovered.isEmpty();
}

X11Desktop::X11Desktop(const QRect& screenFrame, QObject* parent) : QObject(parent), m_screenFrame(screenFrame)
{
    connect(&m_stacking, &X11Stacking::changed, this, &X11Desktop::recheck);
    recheck();
}

void X11Desktop::recheck()
{
    // Unviewable: minimised or on another workspace. A window belongs to the
    // screen that holds its centre, as window managers place it.
    const auto& windows = m_stacking.windows();
    const bool covered = std::any_of(windows.begin(), windows.end(), [this](const StackedWindow& w) {
        return !w.ownProcess && !w.hidden && (w.fullscreen || w.maximised) && w.viewable &&
               m_screenFrame.contains(w.frame.center());
    });
    if (covered != m_covered) {
        m_covered = covered;
        emit coveredChanged();
    }
}
