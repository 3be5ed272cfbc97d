// Starts the real vesmer binary (under the headless X server and the private
// session bus of tests/run-headless.sh) and checks what another program can see:
// its X windows, its settings file, its exit status and its standard error.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

namespace {

constexpr int kStartTimeoutMs = 20000;  // a wallpaper's web engine starts in a few seconds here
constexpr const char* kServiceName = "app.vesmer.Vesmer";

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool instanceRegistered()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QLatin1String(kServiceName));
}

// Top-level X windows of one process, as the window manager would see them.
struct XWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    QList<QByteArray> types;  // _NET_WM_WINDOW_TYPE atom names
    int width = 0;
    int height = 0;
};

class XDisplay {
public:
    XDisplay() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~XDisplay() { xcb_disconnect(m_connection); }
    bool ok() const { return xcb_connection_has_error(m_connection) == 0; }

    // Mapped windows whose _NET_WM_PID is `pid`.
    QList<XWindow> viewableWindowsOf(qint64 pid)
    {
        QList<XWindow> found;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        auto* tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr);
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t window = children[i];
            auto* attributes = xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attributes);
            if (!viewable || cardinal(window, "_NET_WM_PID") != pid)
                continue;
            XWindow info;
            info.id = window;
            for (const xcb_atom_t type : atoms(window, "_NET_WM_WINDOW_TYPE"))
                info.types << atomName(type);
            auto* geometry = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
            if (geometry) {
                info.width = geometry->width;
                info.height = geometry->height;
            }
            free(geometry);
            found << info;
        }
        free(tree);
        return found;
    }

    int desktopWindowsOf(qint64 pid)
    {
        int count = 0;
        for (const XWindow& window : viewableWindowsOf(pid))
            count += window.types.contains("_NET_WM_WINDOW_TYPE_DESKTOP") ? 1 : 0;
        return count;
    }

    // The window manager's close button: WM_DELETE_WINDOW.
    void requestClose(xcb_window_t window)
    {
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }

    // The control panel: the one ordinary window of the process.
    std::optional<xcb_window_t> panelOf(qint64 pid)
    {
        for (const XWindow& window : viewableWindowsOf(pid))
            if (!window.types.contains("_NET_WM_WINDOW_TYPE_DESKTOP"))
                return window.id;
        return std::nullopt;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return value;
    }
    QByteArray atomName(xcb_atom_t value)
    {
        auto* reply = xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, value), nullptr);
        QByteArray name;
        if (reply)
            name = QByteArray(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply));
        free(reply);
        return name;
    }
    QList<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type)
    {
        QList<uint32_t> values;
        auto* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, atom(name), type, 0, 64), nullptr);
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                values << data[i];
        }
        free(reply);
        return values;
    }
    qint64 cardinal(xcb_window_t window, const char* name)
    {
        const auto values = property(window, name, XCB_ATOM_CARDINAL);
        return values.isEmpty() ? -1 : qint64(values.first());
    }
    QList<uint32_t> atoms(xcb_window_t window, const char* name) { return property(window, name, XCB_ATOM_ATOM); }

    xcb_connection_t* m_connection;
};

// One vesmer process with its standard error collected as it comes.
class VesmerProcess {
public:
    VesmerProcess(const QProcessEnvironment& environment, const QStringList& arguments)
    {
        m_process.setProcessEnvironment(environment);
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { m_stderr += QString::fromUtf8(m_process.readAllStandardError()); });
        m_process.start(QStringLiteral(VESMER_BINARY), arguments);
    }
    ~VesmerProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QString standardError()
    {
        QCoreApplication::processEvents();
        return m_stderr;
    }
    bool waitForStderr(const QString& text, int timeoutMs)
    {
        return waitFor([&] { return m_stderr.contains(text) || !running(); }, timeoutMs) && m_stderr.contains(text);
    }
    bool finishes(int timeoutMs)
    {
        const bool done = m_process.waitForFinished(timeoutMs);
        m_stderr += QString::fromUtf8(m_process.readAllStandardError());
        return done;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_stderr;
};

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_x.ok()) << "needs the X server of tests/run-headless.sh";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs a session bus";
        // A vesmer left by another test would take our launches over.
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            m_environment.insert(QLatin1String(name), m_dir.filePath(QLatin1String(name)));
        m_environment.remove(QStringLiteral("VESMER_WALLPAPER"));
        m_environment.remove(QStringLiteral("VESMER_TEST_GRAPH"));
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")); }
    QVariant setting(const QString& key) const { return QSettings(settingsPath(), QSettings::IniFormat).value(key); }
    void markLaunchedBefore() const
    {
        QSettings(settingsPath(), QSettings::IniFormat).setValue(QStringLiteral("didAutoStart"), true);
    }
    std::unique_ptr<VesmerProcess> start(const QStringList& arguments = {})
    {
        return std::make_unique<VesmerProcess>(m_environment, arguments);
    }
    std::unique_ptr<VesmerProcess> startPrimary(const QStringList& arguments = {})
    {
        auto process = start(arguments);
        EXPECT_TRUE(waitFor([&] { return instanceRegistered() || !process->running(); }, kStartTimeoutMs));
        EXPECT_TRUE(process->running()) << process->standardError().toStdString();
        return process;
    }
    bool showsWallpaper(VesmerProcess& process, int timeoutMs)
    {
        return waitFor([&] { return m_x.desktopWindowsOf(process.pid()) > 0 || !process.running(); }, timeoutMs)
               && m_x.desktopWindowsOf(process.pid()) > 0;
    }
    bool showsPanel(VesmerProcess& process, int timeoutMs)
    {
        return waitFor([&] { return !m_x.viewableWindowsOf(process.pid()).isEmpty() || !process.running(); },
                       timeoutMs)
               && process.running();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    XDisplay m_x;
};

}  // namespace

TEST_F(AppProcess, FirstLaunchShowsTheWallpaperAndTheSecondDoesNot)
{
    {
        auto first = startPrimary();
        EXPECT_TRUE(showsWallpaper(*first, kStartTimeoutMs)) << first->standardError().toStdString();
        EXPECT_EQ(setting(QStringLiteral("didAutoStart")).toBool(), true);
    }
    ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));

    auto second = startPrimary();
    ASSERT_TRUE(showsPanel(*second, kStartTimeoutMs));
    // The first launch showed its wallpaper within a few seconds; give the second as long.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() > 3000; }, 4000);
    EXPECT_EQ(m_x.desktopWindowsOf(second->pid()), 0);
}

TEST_F(AppProcess, PreviewWithWallpaperFlagShowsTheNormalWallpaper)
{
    markLaunchedBefore();
    auto app = startPrimary({QStringLiteral("--preview"), QStringLiteral("--wallpaper")});
    ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs)) << app->standardError().toStdString();
    for (const XWindow& window : m_x.viewableWindowsOf(app->pid()))
        EXPECT_FALSE(window.width == 960 && window.height == 540) << "a preview window is shown";
}

TEST_F(AppProcess, SecondProcessHandsItsKeyToTheFirstAndExits)
{
    markLaunchedBefore();
    auto primary = startPrimary();

    auto emptyKey = start({QStringLiteral("vesmer://activate?key=")});
    ASSERT_TRUE(emptyKey->finishes(5000));
    EXPECT_EQ(emptyKey->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(emptyKey->process().exitCode(), 0) << emptyKey->standardError().toStdString();
    EXPECT_FALSE(setting(QStringLiteral("pro.key")).isValid());

    // The first instance stores the key before it answers the hand-over.
    auto withKey = start({QStringLiteral("vesmer://activate?x=1&key=abc")});
    ASSERT_TRUE(withKey->finishes(5000));
    EXPECT_EQ(withKey->process().exitCode(), 0) << withKey->standardError().toStdString();
    EXPECT_EQ(setting(QStringLiteral("pro.key")).toString(), QStringLiteral("abc"));

    // An over-long key travels over the bus too, and is ignored (one argument is
    // limited to 128 KiB by the kernel; the 1 MB URL is a unit test).
    auto huge = start({QStringLiteral("vesmer://activate?key=") + QString(100000, QLatin1Char('z'))});
    ASSERT_TRUE(huge->finishes(10000));
    EXPECT_EQ(huge->process().exitCode(), 0);
    EXPECT_EQ(setting(QStringLiteral("pro.key")).toString(), QStringLiteral("abc"));
    EXPECT_TRUE(primary->running());
}

TEST_F(AppProcess, ClosingThePanelQuitsOnlyWithoutAWallpaper)
{
    markLaunchedBefore();
    {
        auto app = startPrimary();
        ASSERT_TRUE(showsPanel(*app, kStartTimeoutMs));
        m_x.requestClose(*m_x.panelOf(app->pid()));
        ASSERT_TRUE(app->finishes(5000)) << "closing the panel without a wallpaper must quit";
        EXPECT_EQ(app->process().exitCode(), 0);
    }
    ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));

    auto app = startPrimary({QStringLiteral("--wallpaper")});
    ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs));
    ASSERT_TRUE(m_x.panelOf(app->pid()).has_value());
    m_x.requestClose(*m_x.panelOf(app->pid()));
    ASSERT_TRUE(waitFor([&] { return !m_x.panelOf(app->pid()); }, 5000));
    EXPECT_FALSE(app->finishes(1500)) << "the wallpaper keeps the app running";
    EXPECT_EQ(m_x.desktopWindowsOf(app->pid()), 1);

    // Launching again brings the closed panel back.
    auto again = start();
    ASSERT_TRUE(again->finishes(10000));
    EXPECT_EQ(again->process().exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return m_x.panelOf(app->pid()).has_value(); }, 5000));
}

TEST_F(AppProcess, TerminationSignalsShutDownCleanlyWithinTwoSeconds)
{
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        auto app = startPrimary({QStringLiteral("--wallpaper"), QStringLiteral("--no-such-flag")});
        ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs)) << app->standardError().toStdString();
        EXPECT_TRUE(app->standardError().contains(QStringLiteral("vesmer: ignoring unknown option --no-such-flag")));

        const qint64 pid = app->pid();
        ::kill(pid_t(pid), signalNumber);
        ASSERT_TRUE(app->finishes(2000)) << "still running 2 s after the signal";
        EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app->process().exitCode(), 0) << app->standardError().toStdString();
        EXPECT_EQ(m_x.desktopWindowsOf(pid), 0);
    }
}

TEST_F(AppProcess, TestGraphLogsThePageAnswerOrAnUnreadableFile)
{
    const QString graphPath = m_dir.filePath(QStringLiteral("graph.json"));
    QFile graph(graphPath);
    ASSERT_TRUE(graph.open(QIODevice::WriteOnly));
    graph.write(R"({"nodes":[],"output":null})");
    graph.close();

    m_environment.insert(QStringLiteral("VESMER_TEST_GRAPH"), graphPath);
    {
        auto app = startPrimary({QStringLiteral("--wallpaper")});
        // Any answer counts: the page may not be ready for a graph yet.
        EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] test-graph result: "), kStartTimeoutMs))
            << app->standardError().toStdString();
    }
    ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));

    const QString missing = m_dir.filePath(QStringLiteral("missing.json"));
    m_environment.insert(QStringLiteral("VESMER_TEST_GRAPH"), missing);
    auto app = startPrimary();
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] test-graph unreadable: ") + missing, 10000))
        << app->standardError().toStdString();
}

TEST_F(AppProcess, WithoutADisplayExitsWithOneLine)
{
    m_environment.remove(QStringLiteral("DISPLAY"));
    m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    auto app = start({QStringLiteral("--wallpaper")});
    ASSERT_TRUE(app->finishes(5000));
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_NE(app->process().exitCode(), 0);
    const QString text = app->standardError();
    EXPECT_EQ(text.count(QLatin1Char('\n')), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("display"))) << text.toStdString();

    m_environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
    auto badDisplay = start();
    ASSERT_TRUE(badDisplay->finishes(5000));
    EXPECT_EQ(badDisplay->process().exitStatus(), QProcess::NormalExit);
    EXPECT_NE(badDisplay->process().exitCode(), 0);
    EXPECT_EQ(badDisplay->standardError().count(QLatin1Char('\n')), 1) << badDisplay->standardError().toStdString();
}

TEST_F(AppProcess, HelpAndVersionPrintAndExit)
{
    for (const char* flag : {"--help", "--version"}) {
        SCOPED_TRACE(flag);
        auto app = start({QLatin1String(flag)});
        ASSERT_TRUE(app->finishes(5000));
        EXPECT_EQ(app->process().exitCode(), 0);
        const QString out = QString::fromUtf8(app->process().readAllStandardOutput());
        EXPECT_TRUE(out.contains(QStringLiteral("vesmer"))) << out.toStdString();
        if (QLatin1String(flag) == QLatin1String("--help")) {
            for (const char* mention : {"--wallpaper", "--preview", "VESMER_WALLPAPER", "VESMER_TEST_GRAPH", "Vesmer.conf"})
                EXPECT_TRUE(out.contains(QLatin1String(mention))) << mention;
        }
    }
}
