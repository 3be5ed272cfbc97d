// Under a real window manager (openbox, started here on the test display and
// stopped by its PID), a fullscreen window of another program pauses the
// wallpaper only when it covers the wallpaper's screen, and closing it resumes.
#include <QProcess>
#include <QWidget>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "DesktopTestTools.h"
#include "TestPageRecorder.h"
#include "WebEngineHarness.h"
#include "platform/qt/QtScreens.h"
#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using DesktopTestTools::run;
using DesktopTestTools::screenNamed;
using WebEngineHarness::settle;
using WebEngineHarness::waitFor;

namespace {

// A program of its own (an xmessage window) put on a screen and, once the window
// manager has taken it on, given `state` (wmctrl's "fullscreen" or "maximized_…").
struct OtherProgram {
    OtherProgram(const QString& title, const QPoint& at, const QString& state)
    {
        process.start("xmessage", {"-title", title, "-geometry", QStringLiteral("300x100+%1+%2").arg(at.x()).arg(at.y()),
                                   "covering"});
        const QString window = run("xdotool", {"search", "--sync", "--name", title}).section('\n', 0, 0);
        const QString hex = QStringLiteral("0x%1").arg(window.toULongLong(), 0, 16);
        if (window.isEmpty() ||
            !waitFor([&hex] { return run("xprop", {"-root", "_NET_CLIENT_LIST"}).contains(hex); }, 10000))
            return;
        run("wmctrl", {"-i", "-r", window, "-b", "add," + state});
        const QString atom = state == "fullscreen" ? "_NET_WM_STATE_FULLSCREEN" : "_NET_WM_STATE_MAXIMIZED_HORZ";
        ready = waitFor([&] { return run("xprop", {"-id", window, "_NET_WM_STATE"}).contains(atom); }, 5000);
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
        m_wm.start("openbox", {"--sm-disable"});
        ASSERT_TRUE(m_wm.waitForStarted());
        ASSERT_TRUE(waitFor([] { return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"); },
                            10000));
    }
    void TearDown() override
    {
        if (m_wm.state() == QProcess::NotRunning)
            return;
        m_wm.terminate();
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
    TestPageRecorder recorder(host->webPage());
    ASSERT_TRUE(window.visible());

    // Managed by the window manager, it stays a desktop window at the bottom of
    // the stack, exactly over its screen.
    const QString id = QString::number(host->widget().winId());
    EXPECT_TRUE(run("xprop", {"-id", id, "_NET_WM_WINDOW_TYPE"}).endsWith("_NET_WM_WINDOW_TYPE_DESKTOP"));
    QString stacking;
    EXPECT_TRUE(waitFor(
        [&] {
            stacking = run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
            return stacking.section('#', 1).section(',', 0, 0).trimmed().toULongLong(nullptr, 16) == id.toULongLong();
        },
        5000))
        << "bottom of the stack: " << stacking.toStdString();
    EXPECT_EQ(DesktopTestTools::frameOf(id.toULongLong()), "1024x768+1920+0");

    OtherProgram onLeft(QStringLiteral("vesmer-cover-left"), QPoint(200, 200), "fullscreen");
    ASSERT_TRUE(onLeft.ready);
    settle(1000);
    EXPECT_TRUE(window.visible()) << "a fullscreen window on the other screen covers nothing of ours";

    OtherProgram onRight(QStringLiteral("vesmer-cover-right"), QPoint(2000, 100), "fullscreen");
    ASSERT_TRUE(onRight.ready);
    ASSERT_TRUE(waitFor([&] { return !window.visible(); }, 10000));
    window.feed(AudioFeatures{});
    settle(300);
    recorder.collect();
    ASSERT_EQ(recorder.calls("vesmerSetPaused").size(), 1);
    EXPECT_EQ(recorder.calls("vesmerSetPaused")[0].args, QJsonArray{true});
    EXPECT_TRUE(recorder.calls("vesmerFeed").isEmpty());

    onRight.close();
    ASSERT_TRUE(waitFor([&] { return window.visible(); }, 10000));
    ASSERT_TRUE(recorder.waitFor("vesmerSetPaused", 2));
    EXPECT_EQ(recorder.calls("vesmerSetPaused")[1].args, QJsonArray{false});

    OtherProgram maximised(QStringLiteral("vesmer-maximised-right"), QPoint(2100, 200), "maximized_vert,maximized_horz");
    ASSERT_TRUE(maximised.ready);
    ASSERT_TRUE(waitFor([&] { return !window.visible(); }, 10000));
    maximised.close();
    ASSERT_TRUE(waitFor([&] { return window.visible(); }, 10000));
}
