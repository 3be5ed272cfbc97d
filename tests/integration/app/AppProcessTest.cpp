// Starts the real vesmer binary (under the headless X server and the private
// session bus of tests/run-headless.sh, and for one test a headless weston) and
// checks what another program can see: its X windows, its settings file, its exit
// status, its standard error and its web engine processes.
#include <QCoreApplication>
#include <QDir>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

#include "AppProcessTools.h"
#include "DesktopTestTools.h"
#include "WebEngineHarness.h"

using namespace AppProcessTools;
using DesktopTestTools::run;
using WebEngineHarness::waitFor;

namespace {

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs the X server of tests/run-headless.sh";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs a session bus";
        // A vesmer left by another test would take our launches over.
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            m_environment.insert(QLatin1String(name), m_dir.filePath(QLatin1String(name)));
        m_environment.remove(QStringLiteral("VESMER_WALLPAPER"));
        m_environment.remove(QStringLiteral("VESMER_TEST_GRAPH"));
        // A configured key: the bundled composer then issues none into the
        // settings these tests read.
        m_environment.insert(QStringLiteral("VESMER_APP_KEY"), QStringLiteral("test-key"));
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")); }
    QVariant setting(const QString& key) const { return QSettings(settingsPath(), QSettings::IniFormat).value(key); }
    void markLaunchedBefore() const { QSettings(settingsPath(), QSettings::IniFormat).setValue("didAutoStart", true); }
    auto start(const QStringList& arguments = {})
    {
        return std::make_unique<VesmerProcess>(QStringLiteral(VESMER_BINARY), m_environment, arguments);
    }
    std::unique_ptr<VesmerProcess> startPrimary(const QStringList& arguments = {})
    {
        auto process = start(arguments);
        EXPECT_TRUE(waitFor([&] { return instanceRegistered() || !process->running(); }, kStartTimeoutMs));
        EXPECT_TRUE(process->running()) << process->standardError().toStdString();
        return process;
    }
    bool showsWallpaper(VesmerProcess& process, int timeoutMs) { return process.showsWallpaper(timeoutMs); }
    bool showsPanel(VesmerProcess& process, int timeoutMs)
    {
        return waitFor([&] { return !windowsOf(process.pid()).isEmpty() || !process.running(); }, timeoutMs)
               && process.running();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

}  // namespace

TEST_F(AppProcess, ClosingThePanelQuitsOnlyWithoutAWallpaper)
{
    markLaunchedBefore();
    {
        auto app = startPrimary();
        ASSERT_TRUE(showsPanel(*app, kStartTimeoutMs));
        requestClose(*panelOf(app->pid()));
        ASSERT_TRUE(app->finishes(5000)) << "closing the panel without a wallpaper must quit";
        EXPECT_EQ(app->process.exitCode(), 0);
    }
    ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));

    auto app = startPrimary({QStringLiteral("--wallpaper")});
    ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs));
    ASSERT_TRUE(panelOf(app->pid()).has_value());
    requestClose(*panelOf(app->pid()));
    ASSERT_TRUE(waitFor([&] { return !panelOf(app->pid()); }, 5000));
    EXPECT_FALSE(app->finishes(1500)) << "the wallpaper keeps the app running";
    EXPECT_EQ(desktopWindowsOf(app->pid()), 1);

    // Launching again brings the closed panel back.
    auto again = start();
    ASSERT_TRUE(again->finishes(10000));
    EXPECT_EQ(again->process.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return panelOf(app->pid()).has_value(); }, 5000));
}

// SIGTERM is the end-to-end suite's; Ctrl-C in a terminal ends the app as cleanly.
TEST_F(AppProcess, InterruptShutsDownCleanlyWithinTwoSeconds)
{
    auto app = startPrimary({QStringLiteral("--wallpaper"), QStringLiteral("--no-such-flag")});
    ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs)) << app->standardError().toStdString();
    EXPECT_TRUE(app->standardError().contains(QStringLiteral("vesmer: ignoring unknown option --no-such-flag")));
    const qint64 pid = app->pid();
    ::kill(pid_t(pid), SIGINT);
    ASSERT_TRUE(app->finishes(2000)) << "still running 2 s after the signal";
    EXPECT_EQ(app->process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process.exitCode(), 0) << app->standardError().toStdString();
    EXPECT_EQ(desktopWindowsOf(pid), 0);
}

TEST_F(AppProcess, TestGraphLogsThePageAnswer)
{
    const QString graphPath = m_dir.filePath(QStringLiteral("graph.json"));
    QFile graph(graphPath);
    ASSERT_TRUE(graph.open(QIODevice::WriteOnly) && graph.write(R"({"nodes":[],"output":null})") > 0);
    graph.close();

    m_environment.insert(QStringLiteral("VESMER_TEST_GRAPH"), graphPath);
    auto app = startPrimary({QStringLiteral("--wallpaper")});
    // Any answer counts: the page may not be ready for a graph yet.
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] test-graph result: "), kStartTimeoutMs))
        << app->standardError().toStdString();
}

TEST_F(AppProcess, WithoutADisplayExitsWithOneLine)
{
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    struct Row {
        const char* display;
        const char* wayland;  // a Wayland session without XWayland, when set
    };
    for (const Row row : {Row{"", ""}, Row{":4711", ""}, Row{"", "vesmer-no-such-compositor"}}) {
        SCOPED_TRACE(std::string(row.display) + "/" + row.wayland);
        m_environment.insert(QStringLiteral("DISPLAY"), QLatin1String(row.display));
        if (*row.wayland)
            m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(row.wayland));
        else
            m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        auto app = start({QStringLiteral("--wallpaper")});
        ASSERT_TRUE(app->finishes(5000));
        EXPECT_EQ(app->process.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(app->process.exitCode(), 0);
        const QString text = app->standardError();
        EXPECT_EQ(text.count(QLatin1Char('\n')), 1) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("display"))) << text.toStdString();
    }
}

TEST_F(AppProcess, HelpAndVersionPrintAndExit)
{
    for (const char* flag : {"--help", "--version"}) {
        SCOPED_TRACE(flag);
        auto app = start({QLatin1String(flag)});
        ASSERT_TRUE(app->finishes(5000));
        EXPECT_EQ(app->process.exitCode(), 0);
        const QString out = QString::fromUtf8(app->process.readAllStandardOutput());
        EXPECT_TRUE(out.contains(QStringLiteral("vesmer"))) << out.toStdString();
        if (QLatin1String(flag) == QLatin1String("--help")) {
            for (const char* mention : {"--wallpaper", "--preview", "VESMER_WALLPAPER", "VESMER_TEST_GRAPH", "Vesmer.conf"})
                EXPECT_TRUE(out.contains(QLatin1String(mention))) << mention;
        }
    }
}

TEST_F(AppProcess, UnderAWaylandSessionTheWallpaperIsStillAnX11DesktopWindow)
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        GTEST_SKIP() << "weston is not installed";
    // A headless compositor with a socket of its own in the test's runtime folder.
    const QString socket = QStringLiteral("vesmer-test-%1").arg(QCoreApplication::applicationPid());
    QProcess weston;
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.start(QStringLiteral("weston"), {QStringLiteral("--backend=headless-backend.so"), "--socket=" + socket,
                                             QStringLiteral("--idle-time=0")});
    const QString socketPath = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socket);
    if (!waitFor([&] { return QFile::exists(socketPath) || weston.state() == QProcess::NotRunning; }, 10000) ||
        weston.state() == QProcess::NotRunning)
        GTEST_SKIP() << "weston did not start: " << weston.readAll().toStdString();
    struct Stop {
        QProcess& process;
        ~Stop()
        {
            process.terminate();  // this PID only
            if (!process.waitForFinished(5000))
                process.kill();
        }
    } stop{weston};

    markLaunchedBefore();
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
    m_environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    const QString note = QStringLiteral("vesmer: using X11 (XWayland) for the desktop window");
    for (const char* platform : {"", "xcb"}) {
        SCOPED_TRACE(platform);
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        if (*platform)
            m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QLatin1String(platform));
        else
            m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        auto app = startPrimary({QStringLiteral("--wallpaper")});
        ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs)) << app->standardError().toStdString();
        EXPECT_EQ(app->standardError().count(note), *platform ? 0 : 1) << app->standardError().toStdString();
    }
}

TEST_F(AppProcess, TheWebEngineIgnoresItsGpuBlocklistUnlessTheUserSetsItsFlags)
{
    markLaunchedBefore();
    struct Row {
        const char* flags;  // the user's own, when set
        const char* engineSwitch;
    };
    for (const Row row : {Row{"", "ignore-gpu-blocklist"}, Row{"--disable-gpu-shader-disk-cache", "disable-gpu-shader-disk-cache"}}) {
        SCOPED_TRACE(row.flags);
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        if (*row.flags)
            m_environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QLatin1String(row.flags));
        else
            m_environment.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
        auto app = startPrimary({QStringLiteral("--wallpaper")});
        ASSERT_TRUE(showsWallpaper(*app, kStartTimeoutMs)) << app->standardError().toStdString();
        // The engine lists the switches it started with on standard error.
        ASSERT_TRUE(app->waitForStderr(QStringLiteral("Init Parameters:"), 5000)) << app->standardError().toStdString();
        const QString text = app->standardError();
        EXPECT_TRUE(text.contains(QStringLiteral("*  %1 ").arg(QLatin1String(row.engineSwitch)))) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("*  ignore-gpu-blocklist ")), !*row.flags) << text.toStdString();
    }
}
