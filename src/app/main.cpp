// The vesmer process: checks what it was asked for, makes sure it is the only
// instance in the session, builds the real platform and runs the app.
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QProcessEnvironment>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <xcb/xcb.h>

#include "app/AppState.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "compose/ComposeClient.h"
#include "compose/ComposerLauncher.h"
#include "platform/pulse/PulseCaptureBackend.h"
#include "panel/PanelWindow.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtScreens.h"
#include "platform/qt/DesktopSystemEvents.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/StderrLog.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/mpris/MprisPlayerBridge.h"
#include "platform/SanitizerLeaks.h"

namespace {

void printLine(FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Wayland has no desktop window type: there the wallpaper would float above
// everything. Until a layer-shell host exists, take X11 through XWayland whenever
// the user has not chosen a platform (QT_QPA_PLATFORM, or Qt's -platform option).
// Whether it did.
bool preferX11UnderWayland(const QStringList& rawArguments)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    for (const QString& argument : rawArguments)
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform"))
            return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

// The engine's GPU blocklist switches WebGL off on software rendering (Mesa
// llvmpipe), and the visuals draw with WebGL only. The user's own flags win.
void allowWebGlOnBlocklistedGpus()
{
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--ignore-gpu-blocklist");
}

// Qt aborts when it cannot reach a display; say so in one line instead.
std::optional<QString> displayProblem()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return std::nullopt;  // wayland, offscreen, …: Qt reports its own problems
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (wayland && platform.isEmpty())
        return std::nullopt;  // a platform chosen with -platform
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty() && wayland)
        return QStringLiteral("vesmer: no X11 display (DISPLAY is not set); the desktop window needs XWayland");
    if (display.isEmpty())
        return QStringLiteral("vesmer: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                              "start it from a graphical session");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed)
        return QStringLiteral("vesmer: cannot open display %1").arg(QString::fromLocal8Bit(display));
    return std::nullopt;
}

// The web engine will not start its sandbox as root and then exits at once. We
// never switch the sandbox off on the user's behalf; we only say why.
void warnIfRootWithSandbox()
{
    if (::geteuid() != 0 || !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")
        || qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox")))
        return;
    printLine(stderr, QStringLiteral("vesmer: running as root, where the web engine's sandbox cannot start and "
                                     "the wallpaper will fail; run as a normal user, or set "
                                     "QTWEBENGINE_DISABLE_SANDBOX=1 at your own risk"));
}

Platform makePlatform(const CommandLine& commandLine)
{
    Platform platform;
    platform.clock = std::make_unique<SystemClock>();
    platform.queue = std::make_unique<QtMainQueue>();
    platform.settings = std::make_unique<Settings>(Settings::defaultPath());
    platform.log = std::make_unique<StderrLog>();
    platform.events = std::make_unique<DesktopSystemEvents>();
    platform.screens = std::make_unique<QtScreens>();
    platform.wallpaperHost = std::make_unique<QtWallpaperHost>();
    platform.capture = std::make_unique<PulseCaptureBackend>();
    platform.desktop = std::make_unique<QtDesktop>(*platform.log);
    platform.network = std::make_unique<QNetworkAccessManager>();
    platform.players = std::make_unique<MprisPlayerBridge>(*platform.clock);
    if (commandLine.lyricsUrl)
        platform.lyricsService = *commandLine.lyricsUrl;
    return platform;
}

// Everything that refers to the shared state lives in this scope, so it is gone
// before the state is destroyed.
int run(QApplication& qtApp, const CommandLine& commandLine, SingleInstance& instance)
{
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &qtApp, &QCoreApplication::quit);

    AppState& state = AppState::createShared(makePlatform(commandLine));
    if (const QString tickStats = qEnvironmentVariable("VESMER_TICK_STATS"); !tickStats.isEmpty())
        state.collectTickStats(tickStats);
    Application application(state, commandLine);
    PanelWindow panel(state);

    QObject::connect(&panel, &PanelWindow::closed, &application, &Application::panelClosed);
    QObject::connect(&application, &Application::quitRequested, &qtApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::urlsOpened, &application, &Application::openUrls);
    QObject::connect(&instance, &SingleInstance::activated, &application, &Application::activate);
    // The session ending, the last window and the signals all end the loop here.
    QObject::connect(&qtApp, &QCoreApplication::aboutToQuit, &application, &Application::terminate);

    // The bundled composer, when the configuration uses it and nothing answers
    // there yet; a key it issues goes the way of a sign-in callback.
    ComposerLauncher composer(*state.platform().queue, *state.platform().log,
        ComposerLauncher::defaultPrograms(QCoreApplication::applicationDirPath(), QStringLiteral(VESMER_INSTALL_PREFIX)),
        [weak = QPointer<AppState>(&state)](const QString& key) {
            if (weak)
                weak->activateKey(key);
        });
    composer.start(state.composeClient().config().baseUrl, state.hasKey(), [weak = QPointer<AppState>(&state)] {
        if (weak)
            weak->validateKey();
    });

    panel.showCentred();
    QTimer::singleShot(0, &application, &Application::launch);
    const int code = qtApp.exec();
    application.terminate();
    return code;
}

// The part of the process that runs with Qt; everything it made is gone when it
// returns, the web engine's threads included.
int runWithQt(int& argc, char** argv, const QProcessEnvironment& environment)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesmer"));
    QApplication::setApplicationVersion(QStringLiteral(VESMER_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("vesmer"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vesmer")));
    // The quit rule is decided when the panel closes; wallpaper windows never count.
    QApplication::setQuitOnLastWindowClosed(false);

    const CommandLine commandLine = CommandLine::parse(QCoreApplication::arguments().mid(1), environment);
    for (const QString& flag : commandLine.unknownFlags)
        printLine(stderr, CommandLine::unknownFlagWarning(flag));

    SingleInstance instance;
    switch (instance.claim(commandLine.urls)) {
    case SingleInstance::Role::HandedOver:
        return 0;
    case SingleInstance::Role::Failed:
        printLine(stderr, QStringLiteral("vesmer: ") + instance.problem());
        return 1;
    case SingleInstance::Role::Standalone:
        printLine(stderr, QStringLiteral("vesmer: running without single-instance hand-over: ") + instance.problem());
        break;
    case SingleInstance::Role::Primary:
        break;
    }

    warnIfRootWithSandbox();
    const int code = run(qtApp, commandLine, instance);
    AppState::destroyShared();
    keepLibrariesLoaded();
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Help needs no display; everything else is read again once Qt has taken its
    // own options (-platform, -display, …) out of the list.
    QStringList rawArguments;
    for (int i = 1; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    if (const CommandLine early = CommandLine::parse(rawArguments, environment); early.help || early.version) {
        std::fputs(qPrintable(early.help ? CommandLine::usage() : CommandLine::versionText()), stdout);
        return 0;
    }
    const bool choseX11 = preferX11UnderWayland(rawArguments);
    if (const auto problem = displayProblem()) {
        printLine(stderr, *problem);
        return 1;
    }
    if (choseX11)
        printLine(stderr, QStringLiteral("vesmer: using X11 (XWayland) for the desktop window; "
                                         "set QT_QPA_PLATFORM to choose"));
    allowWebGlOnBlocklistedGpus();

    const int code = runWithQt(argc, argv, environment);
    return leaksFound() ? 1 : code;
}
