// Under a real window manager (openbox, started here on the test display and
// stopped by its PID): a fullscreen window of another program pauses the
// wallpaper only when it covers the wallpaper's screen, and closing it resumes;
// the control panel reports itself visible unless minimised or completely covered.
#include <QProcess>
#include <QWidget>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "DesktopTestTools.h"
#include "TestPageRecorder.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "panel/PanelWindow.h"
#include "platform/qt/DesktopSystemEvents.h"
#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using DesktopTestTools::run;
using DesktopTestTools::screenNamed;
using WebEngineHarness::settle;
using WebEngineHarness::waitFor;

namespace {

// A program of its own (an xmessage window) put at `frame` and, once the window
// manager has taken it on, given `state` (wmctrl's "fullscreen" or "maximized_…")
// when one is named.
struct OtherProgram {
    OtherProgram(const QString& title, const QRect& frame, const QString& state = {})
    {
        const QString geometry = QString::asprintf("%dx%d+%d+%d", frame.width(), frame.height(), frame.x(), frame.y());
        process.start("xmessage", {"-title", title, "-geometry", geometry, "covering"});
        const QString window = run("xdotool", {"search", "--sync", "--name", title}).section('\n', 0, 0);
        const QString hex = QStringLiteral("0x%1").arg(window.toULongLong(), 0, 16);
        if (window.isEmpty() ||
            !waitFor([&hex] { return run("xprop", {"-root", "_NET_CLIENT_LIST"}).contains(hex); }, 10000))
            return;
        if (!state.isEmpty())
            run("wmctrl", {"-i", "-r", window, "-b", "add," + state});
        const QString atom = state == "fullscreen" ? "_NET_WM_STATE_FULLSCREEN" : "_NET_WM_STATE_MAXIMIZED_HORZ";
        ready = state.isEmpty() ||
                waitFor([&] { return run("xprop", {"-id", window, "_NET_WM_STATE"}).contains(atom); }, 5000);
    }
    ~OtherProgram() { close(); }
    void close()
    {
        process.terminate();  // TERM to this PID only
        process.waitForFinished(5000);
    }

    QProcess process;
    bool ready = false;  // managed and in the state asked for
};

class Openbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("openbox").isEmpty())
            GTEST_SKIP() << "openbox is not installed";
        // The property outlives the window manager that set it: without this, the
        // wait below would pass on the previous test's before this one is ready.
        run("xprop", {"-root", "-remove", "_NET_SUPPORTING_WM_CHECK"});
        m_wm.start("openbox", {"--sm-disable"});
        ASSERT_TRUE(m_wm.waitForStarted());
        ASSERT_TRUE(waitFor([] { return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"); },
                            10000));
    }
    void TearDown() override
    {
        m_wm.terminate();  // TERM to this PID only; nothing to wait for when it never started
        if (!m_wm.waitForFinished(5000))
            m_wm.kill();
    }
    QProcess m_wm;
};

}  // namespace

TEST_F(Openbox, AFullscreenWindowOnTheWallpapersScreenPausesItClosingResumes)
{
    const ScreenInfo right = screenNamed("RIGHT");
    auto made = WebEngineHarness::openWindow(TestPageRecorder::pagePath(), right);
    QtHostWindow* host = made.get();
    WallpaperWindow window(std::move(made), right, false);
    ASSERT_TRUE(WebEngineHarness::waitReady(host->webPage()));
    settle(500);
    ASSERT_TRUE(window.visible());

    // Managed by the window manager, it stays at the bottom of the stack, exactly
    // over its screen (its window type is the window test's).
    const QString id = QString::number(host->widget().winId());
    for (const char* name : {"_NET_WM_NAME", "WM_NAME"})  // only the panel is called "Vesmer"
        EXPECT_TRUE(run("xprop", {"-id", id, name}).endsWith(" = \"Vesmer Wallpaper\"")) << name;
    const auto bottom = [] {
        return run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}).section('#', 1).section(',', 0, 0).trimmed();
    };
    EXPECT_TRUE(waitFor([&] { return bottom().toULongLong(nullptr, 16) == id.toULongLong(); }, 5000))
        << "bottom of the stack: " << bottom().toStdString();
    EXPECT_EQ(DesktopTestTools::frameOf(id.toULongLong()), "1024x768+1920+0");

    OtherProgram onLeft(QStringLiteral("vesmer-cover-left"), QRect(200, 200, 300, 100), "fullscreen");
    ASSERT_TRUE(onLeft.ready);
    settle(1000);
    EXPECT_TRUE(window.visible()) << "a fullscreen window on the other screen covers nothing of ours";

    // What a hidden wallpaper sends and holds back is the window test's.
    for (const QString state : {"fullscreen", "maximized_vert,maximized_horz"}) {
        OtherProgram onRight(QStringLiteral("vesmer-right-") + state, QRect(2000, 100, 300, 100), state);
        ASSERT_TRUE(onRight.ready) << state.toStdString();
        ASSERT_TRUE(waitFor([&] { return !window.visible(); }, 10000)) << state.toStdString();
        onRight.close();
        ASSERT_TRUE(waitFor([&] { return window.visible(); }, 10000)) << state.toStdString();
    }
}

TEST_F(Openbox, ThePanelIsVisibleUnlessMinimisedOrCompletelyCovered)
{
    TestPlatform doubles;
    Platform platform = doubles.take();
    platform.events = std::make_unique<DesktopSystemEvents>();
    AppState state(std::move(platform));
    PanelWindow panel(state);
    panel.showCentred();
    ASSERT_TRUE(waitFor([&] { return state.panelVisible(); }, 10000));
    const QString id = QString::number(panel.winId());
    EXPECT_EQ(run("xprop", {"-id", id, "_NET_WM_NAME"}), "_NET_WM_NAME(UTF8_STRING) = \"Vesmer\"");

    const QRect frame = panel.frameGeometry();
    OtherProgram corner(QStringLiteral("vesmer-panel-corner"), QRect(frame.topLeft() - QPoint(40, 40), QSize(120, 90)));
    ASSERT_TRUE(corner.ready);
    settle(1000);
    EXPECT_TRUE(state.panelVisible()) << "partly covered";
    corner.close();
    OtherProgram over(QStringLiteral("vesmer-panel-over"), frame.adjusted(-60, -80, 60, 60));
    ASSERT_TRUE(over.ready);
    EXPECT_TRUE(waitFor([&] { return !state.panelVisible(); }, 5000)) << "completely covered";
    over.close();
    EXPECT_TRUE(waitFor([&] { return state.panelVisible(); }, 5000)) << "uncovered";
    run("xdotool", {"windowminimize", id});
    EXPECT_TRUE(waitFor([&] { return !state.panelVisible(); }, 5000)) << "minimised";
    run("wmctrl", {"-i", "-a", id});
    EXPECT_TRUE(waitFor([&] { return state.panelVisible(); }, 5000)) << "restored";
}
