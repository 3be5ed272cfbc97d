// Starts the real vesmer binary (under the headless X server and the private
// session bus of tests/run-headless.sh, and for one test a headless weston) and
// checks what another program can see: its X windows, its settings file, its exit
// status, its standard error and its web engine processes.
#include <QCoreApplication>
#include <QDir>
#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

#include "AppProcessTools.h"
#include "WebEngineHarness.h"

using namespace AppProcessTools;
using WebEngineHarness::waitFor;

namespace {

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs the X server of tests/run-headless.sh";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs a session bus";
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            m_environment.insert(QLatin1String(name), m_dir.filePath(QLatin1String(name)));
        m_environment.remove(QStringLiteral("VESMER_WALLPAPER"));
        m_environment.remove(QStringLiteral("VESMER_TEST_GRAPH"));
        // A configured key: the bundled composer then issues none into the
        // settings these tests read.
        m_environment.insert(QStringLiteral("VESMER_APP_KEY"), QStringLiteral("test-key"));
        // Launched before: no first-launch wallpaper.
        QSettings(m_dir.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")), QSettings::IniFormat).setValue("didAutoStart", true);
    }

    auto start(const QStringList& arguments = {})
    {
        return std::make_unique<VesmerProcess>(QStringLiteral(VESMER_BINARY), m_environment, arguments);
    }
    // Once an earlier vesmer, which would take the launch over, is gone.
    std::unique_ptr<VesmerProcess> startPrimary(const QStringList& arguments = {})
    {
        EXPECT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        auto process = start(arguments);
        EXPECT_TRUE(waitFor([&] { return instanceRegistered() || !process->running(); }, kStartTimeoutMs));
        EXPECT_TRUE(process->running()) << process->standardError().toStdString();
        return process;
    }

    // An empty value unsets the variable.
    void setEnvironment(const QString& name, const char* value)
    {
        *value ? m_environment.insert(name, QLatin1String(value)) : m_environment.remove(name);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

}  // namespace

TEST_F(AppProcess, ClosingThePanelQuitsOnlyWithoutAWallpaperAndAnInterruptEndsItCleanly)
{
    auto panelOnly = startPrimary();
    ASSERT_TRUE(waitFor([&] { return !windowsOf(panelOnly->pid()).isEmpty() || !panelOnly->running(); }, kStartTimeoutMs));
    requestClose(panelOf(panelOnly->pid()).value());
    ASSERT_TRUE(panelOnly->finishes(5000)) << "closing the panel without a wallpaper must quit";
    EXPECT_EQ(panelOnly->process.exitCode(), 0);

    auto app = startPrimary({QStringLiteral("--wallpaper"), QStringLiteral("--no-such-flag")});
    ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
    EXPECT_TRUE(app->standardError().contains(QStringLiteral("vesmer: ignoring unknown option --no-such-flag")));
    requestClose(panelOf(app->pid()).value());
    ASSERT_TRUE(waitFor([&] { return !panelOf(app->pid()); }, 5000));
    EXPECT_FALSE(app->finishes(1500)) << "the wallpaper keeps the app running";
    EXPECT_EQ(desktopWindowsOf(app->pid()), 1);

    // Launching again brings the closed panel back.
    auto again = start();
    ASSERT_TRUE(again->finishes(10000));
    EXPECT_EQ(again->process.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return panelOf(app->pid()).has_value(); }, 5000));

    // SIGTERM is the end-to-end suite's; Ctrl-C in a terminal ends the app as cleanly.
    const qint64 pid = app->pid();
    ::kill(pid_t(pid), SIGINT);
    ASSERT_TRUE(app->finishes(2000)) << "still running 2 s after the signal";
    EXPECT_EQ(app->process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process.exitCode(), 0) << app->standardError().toStdString();
    EXPECT_EQ(desktopWindowsOf(pid), 0);
}

TEST_F(AppProcess, HelpAndVersionNeedNoDisplayAndWithoutOneTheAppExitsWithOneLine)
{
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_environment.insert(QStringLiteral("DISPLAY"), QString());
    for (const auto& [flag, mentions] :
         {std::pair{"--help", QStringList{"vesmer", "--wallpaper", "--preview", "VESMER_WALLPAPER", "VESMER_TEST_GRAPH", "Vesmer.conf"}},
          {"--version", QStringList{"vesmer"}}}) {
        SCOPED_TRACE(flag);
        auto app = start({QLatin1String(flag)});
        ASSERT_TRUE(app->finishes(5000));
        EXPECT_EQ(app->process.exitCode(), 0);
        const QString out = QString::fromUtf8(app->process.readAllStandardOutput());
        for (const QString& mention : mentions)
            EXPECT_TRUE(out.contains(mention)) << mention.toStdString() << " in " << out.toStdString();
    }
    // The last: a Wayland session without XWayland.
    for (const auto& [display, wayland] : {std::pair{"", ""}, {":4711", ""}, {"", "vesmer-no-such-compositor"}}) {
        SCOPED_TRACE(std::string(display) + "/" + wayland);
        m_environment.insert(QStringLiteral("DISPLAY"), QLatin1String(display));
        setEnvironment(QStringLiteral("WAYLAND_DISPLAY"), wayland);
        auto app = start({QStringLiteral("--wallpaper")});
        ASSERT_TRUE(app->finishes(5000));
        EXPECT_EQ(app->process.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(app->process.exitCode(), 0);
        const QString text = app->standardError();
        EXPECT_EQ(text.count(QLatin1Char('\n')), 1) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("display"))) << text.toStdString();
    }
}

// Under Wayland the wallpaper is still an X11 desktop window, and the web engine
// ignores its GPU blocklist; a platform or engine flags the user chose are left alone.
TEST_F(AppProcess, UnderWaylandTheAppTakesX11AndTheEngineIgnoresItsGpuBlocklistUnlessTheUserChose)
{
    // A headless compositor with a socket of its own in the test's runtime folder.
    const QString socket = QStringLiteral("vesmer-test-%1").arg(QCoreApplication::applicationPid());
    QProcess weston;
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.start(QStringLiteral("weston"), {QStringLiteral("--backend=headless-backend.so"), "--socket=" + socket,
                                             QStringLiteral("--idle-time=0")});
    const QString socketPath = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socket);
    if (!waitFor([&] { return QFile::exists(socketPath) || weston.state() == QProcess::NotRunning; }, 10000) ||
        weston.state() == QProcess::NotRunning)
        GTEST_SKIP() << "weston did not start: " << weston.errorString().toStdString() << weston.readAll().toStdString();
    const auto stop = qScopeGuard([&weston] {
        weston.terminate();  // this PID only; the QProcess kills it if it lingers
        weston.waitForFinished(5000);
    });

    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
    m_environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    const QString note = QStringLiteral("vesmer: using X11 (XWayland) for the desktop window");
    for (const auto& [platform, flags, engineSwitch] : {std::tuple{"", "", "ignore-gpu-blocklist"},
                                                        {"xcb", "--disable-gpu-shader-disk-cache", "disable-gpu-shader-disk-cache"}}) {
        SCOPED_TRACE(std::string(platform) + " " + flags);
        setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), platform);
        setEnvironment(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), flags);
        auto app = startPrimary({QStringLiteral("--wallpaper")});
        ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
        // The engine lists the switches it started with on standard error.
        ASSERT_TRUE(app->waitForStderr(QStringLiteral("Init Parameters:"), 5000)) << app->standardError().toStdString();
        const QString text = app->standardError();
        EXPECT_EQ(text.count(note), *platform ? 0 : 1) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("*  %1 ").arg(QLatin1String(engineSwitch)))) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("*  ignore-gpu-blocklist ")), !*flags) << text.toStdString();
    }
}
