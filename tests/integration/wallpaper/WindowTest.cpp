// The real wallpaper and preview windows on Xvfb (two monitors, no window
// manager): X11 properties, frames, input, and the pause that follows visibility.
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include "DesktopTestTools.h"
#include "TestPageRecorder.h"
#include "WebEngineHarness.h"
#include "wallpaper/PageCalls.h"
#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWallpaperHost.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

using DesktopTestTools::run;
using DesktopTestTools::screenNamed;
using WebEngineHarness::settle;
using WebEngineHarness::waitFor;

namespace {

QString xprop(WId window, const QString& property)
{
    return run("xprop", {"-id", QString::number(window), property});
}

}  // namespace

TEST(HostWindow, PreviewIsATitledWindowOnTopCentredAndTakesTheMouse)
{
    auto window = WebEngineHarness::openWindow(TestPageRecorder::pagePath(), screenNamed("LEFT"), true);
    ASSERT_TRUE(WebEngineHarness::waitReady(window->webPage()));
    settle(500);
    const WId id = window->widget().winId();

    EXPECT_EQ(xprop(id, "_NET_WM_NAME"), "_NET_WM_NAME(UTF8_STRING) = \"Vesmer Preview\"");
    EXPECT_TRUE(xprop(id, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    EXPECT_FALSE(xprop(id, "_NET_WM_WINDOW_TYPE").contains("DESKTOP"));
    EXPECT_EQ(DesktopTestTools::frameOf(id), "960x540+480+270");

    TestPageRecorder recorder(window->webPage());
    run("xdotool", {"mousemove", "960", "540", "click", "1"});
    EXPECT_TRUE(recorder.waitFor("mousedown"));
}

TEST(HostWindow, WallpaperIsAClickThroughDesktopWindowThatPausesWhileHiddenOrMinimised)
{
    auto made = WebEngineHarness::openWindow(TestPageRecorder::pagePath(), screenNamed("RIGHT"));
    QtHostWindow* host = made.get();
    WallpaperWindow window(std::move(made), screenNamed("RIGHT"), false);
    ASSERT_TRUE(WebEngineHarness::waitReady(host->webPage()));
    settle(500);  // past the view's swap of its native window
    const WId id = host->widget().winId();

    EXPECT_EQ(xprop(id, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DESKTOP");
    const QString state = xprop(id, "_NET_WM_STATE");
    EXPECT_TRUE(state.contains("_NET_WM_STATE_STICKY")) << state.toStdString();
    EXPECT_TRUE(state.contains("_NET_WM_STATE_BELOW")) << state.toStdString();
    EXPECT_EQ(xprop(id, "_NET_WM_DESKTOP"), "_NET_WM_DESKTOP(CARDINAL) = 4294967295");

    TestPageRecorder recorder(host->webPage());
    run("xdotool", {"mousemove", "2400", "300", "click", "1"});
    settle(300);
    recorder.collect();
    // Neither a mousedown (the wallpaper never takes the mouse) nor a pause (showing is not a visibility change).
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.value(0).fn.toStdString();

    // Feeding a hidden window is the capture pump test's; the pause and resume
    // must each come once, from the real window's visibility.
    for (const bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "minimise" : "hide");
        recorder.all.clear();
        minimise ? host->widget().showMinimized() : host->widget().hide();
        ASSERT_TRUE(waitFor([&] { return !window.visible(); }));
        settle(400);
        minimise ? host->widget().showNormal() : host->widget().show();
        ASSERT_TRUE(waitFor([&] { return window.visible(); }));
        window.feed(AudioFeatures{0.5f, 0, 0, 0, 0, 0, 0, 0});
        ASSERT_TRUE(recorder.waitFor("vesmerFeed"));
        settle(300);
        recorder.collect();
        QList<QJsonArray> pauses;
        for (const TestPageRecorder::Call& call : recorder.calls("vesmerSetPaused"))
            pauses << call.args;
        EXPECT_EQ(pauses, (QList<QJsonArray>{QJsonArray{true}, QJsonArray{false}}));
    }
}

TEST(HostWindow, AMissingPageLeavesABlackWindowAndTakesEveryCallSilently)
{
    QtWallpaperHost hostFactory(QStringLiteral("/nonexistent/visuals/index.html"));
    EXPECT_TRUE(hostFactory.pageUrl().isEmpty());
    auto made = hostFactory.createWindow(screenNamed("RIGHT"), false);
    QStringList console;
    QObject::connect(&dynamic_cast<QtWebPage&>(made->page()), &QtWebPage::consoleMessage,
                     [&console](int, const QString& message) { console << message; });
    WallpaperWindow window(std::move(made), screenNamed("RIGHT"), false);
    settle(1000);
    window.feed(AudioFeatures{});
    window.setLyric("la");
    window.setBPM(100);
    int replies = 0;
    window.stepTheme(1, [&replies](const QString&) { ++replies; });
    window.page().callWithArguments(PageCalls::paletteBody(), {{"u", "x"}},
                                    [&replies](const ScriptReply& reply) { replies += reply.value ? 10 : 1; });
    settle(500);
    EXPECT_EQ(replies, 1) << "the palette call is answered, empty; the theme step is not";
    // Guarded queries of functions the page lacks answer as the app expects.
    EXPECT_EQ(WebEngineHarness::evaluate(window.page(), PageCalls::setQuality(0, 60))->value, QString(""));
    EXPECT_EQ(WebEngineHarness::evaluate(window.page(), PageCalls::currentTheme())->value, QStringLiteral("\u2014"));
    EXPECT_TRUE(WebEngineHarness::evaluate(window.page(), PageCalls::sceneDescription())->error.has_value());
    EXPECT_TRUE(console.isEmpty()) << console.join('\n').toStdString();

    const QRect frame = screenNamed("RIGHT").frame;
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    ASSERT_FALSE(shot.isNull());
    int lit = 0;
    for (int y = 0; y < shot.height(); y += 16)
        for (int x = 0; x < shot.width(); x += 16)
            lit += qGray(shot.pixel(x, y)) > 8 ? 1 : 0;
    EXPECT_EQ(lit, 0) << "the window is black";
}
