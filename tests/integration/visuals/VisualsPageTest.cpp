// The shipped visuals page in the real engine: frames that are not blank and
// differ between themes, a graph shown, every theme and effect compiled. That
// the other host calls take odd input without throwing, and pausing the frame
// loop, are the node page test's.
#include <QCoreApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include "WebEngineHarness.h"
#include "wallpaper/PageCalls.h"
#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWebPage.h"

using namespace WebEngineHarness;

namespace {

QString pagePath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/visuals/index.html"); }

// The page's string answer, else the error or nothing that came instead.
QString text(WebPage& page, const QString& expression)
{
    const auto reply = evaluate(page, expression);
    return reply && reply->value ? *reply->value : QStringLiteral("<no string: %1>").arg(reply && reply->error ? *reply->error : QString());
}

// Waits for `count` more frames to be drawn; whether they came.
bool waitFrames(WebPage& page, int count)
{
    const auto frames = [&page] {
        return QJsonDocument::fromJson(text(page, "vesmerStats()").toUtf8()).object().value("frames").toInt(-1);
    };
    const int start = frames();
    return waitFor([&] { return frames() >= start + count; }, 20000);
}

QImage grab(QWidget& window)
{
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < a.height(); y += 4)
        for (int x = 0; x < a.width(); x += 4, ++n) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * n);
}

const char* kGraph = R"({"name":"Smoke test","palette":["#ff5500","#2255ff"],"paletteAmount":0.5,
  "layers":[{"type":"rings","color":0,"color2":1},{"type":"orb","color":1,"scale":1.5}],
  "post":{"hue":0,"bloom":0.3},"unknown":{"x":1}})";

}  // namespace

TEST(VisualsPage, DrawsEveryThemeGraphAndEffectAndAnswersEveryHostCall)
{
    // A preview window (960x540) on the primary Xvfb screen.
    auto window = openWindow(pagePath(), ScreenInfo{QStringLiteral("LEFT"), QRect(0, 0, 1920, 1080)}, true);
    QStringList console;
    QObject::connect(&window->webPage(), &QtWebPage::consoleMessage, [&console](int level, const QString& message) {
        if (level == 2)
            console << message;
    });
    ASSERT_TRUE(waitReady(window->webPage()));
    WebPage& page = window->page();
    ASSERT_EQ(text(page, "String(JSON.parse(vesmerStats()).webgl2)"), QStringLiteral("true"));
    EXPECT_EQ(text(page, PageCalls::currentTheme()), QStringLiteral("Aurora"));
    text(page, PageCalls::setQuality(1.0, 60));
    ASSERT_TRUE(waitFrames(page, 5));
    const QImage aurora = grab(window->widget());
    text(page, PageCalls::stepTheme(2));
    ASSERT_TRUE(waitFrames(page, 5));
    const QImage synthwave = grab(window->widget());
    ASSERT_EQ(aurora.size(), QSize(960, 540));
    // That the wallpaper draws at all is the end-to-end test's; here themes differ.
    EXPECT_GT(meanDifference(aurora, synthwave), 10.0);

    // The verdict for each kind of graph, the description, the last graph and
    // stepping are the page logic's (node tests); here the graph is shown.
    EXPECT_EQ(text(page, PageCalls::applyGraph(QString::fromUtf8(kGraph))), QStringLiteral("ok"));
    EXPECT_EQ(text(page, PageCalls::currentTheme()), QStringLiteral("Smoke test"));
    ASSERT_TRUE(waitFrames(page, 5));
    EXPECT_GT(meanDifference(synthwave, grab(window->widget())), 10.0);

    // Every theme's program and the pass with every effect on compile and draw.
    const QString first = text(page, PageCalls::stepTheme(1));
    QStringList names{first};
    for (QString name = text(page, PageCalls::stepTheme(1)); name != first && names.size() < 20;
         name = text(page, PageCalls::stepTheme(1))) {
        EXPECT_TRUE(waitFrames(page, 1)) << name.toStdString();
        names << name;
    }
    EXPECT_GE(names.size(), 8) << names.join(", ").toStdString();
    text(page, PageCalls::setFx(QStringLiteral(
        R"({"bloom":1,"grayscale":1,"pixelate":1,"dots":1,"scanlines":1,"ascii":1,"hue":1,"chroma":1,"radialBlur":1})")));
    EXPECT_TRUE(waitFrames(page, 3));

    // Scale 2 is one pixel per device pixel; a software renderer notes itself after the size.
    EXPECT_TRUE(text(page, PageCalls::setQuality(2.0, 30)).startsWith(QStringLiteral("960\u00d7540 @ 30 fps")));

    // A cover's palette from the real page is the end-to-end test's; a broken image fails.
    const auto broken = call(page, PageCalls::paletteBody(), {{"u", QStringLiteral("data:image/jpeg;base64,AAAA")}});
    EXPECT_TRUE(broken && broken->error);

    EXPECT_TRUE(console.isEmpty()) << console.join('\n').toStdString();
}
