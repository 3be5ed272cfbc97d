#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "panel/LookSlider.h"
#include "panel/NowPlayingSection.h"
#include "panel/PanelView.h"
#include "panel/PanelWindow.h"
#include "panel/PromptField.h"

namespace {

// Counts the paint events of one window's widgets.
struct PaintCounter final : QObject {
    explicit PaintCounter(QWidget& window) : window(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        paints += event->type() == QEvent::Paint && widget && (widget == &window || window.isAncestorOf(widget));
        return false;
    }
    QWidget& window;
    int paints = 0;
};

}  // namespace

class PanelViewTest : public ::testing::Test {
protected:
    PanelViewTest()
    {
        // Key checks go to this loopback backend, never to a composer that may run here.
        QDir().mkpath(QFileInfo(ComposeClient::configPath()).path());
        QFile config(ComposeClient::configPath());
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"baseUrl":"%1"})").arg(backend.origin()).toUtf8());
    }
    ~PanelViewTest() override { QFile::remove(ComposeClient::configPath()); }

    void open()
    {
        state = std::make_unique<AppState>(tp.take());
        window = std::make_unique<PanelWindow>(*state);
        window->show();
        settle();
    }
    void settle()
    {
        QCoreApplication::processEvents();
        tp.queue->runPending();
        QCoreApplication::processEvents();
    }
    // The shown button with this text or accessible name, or null.
    QAbstractButton* button(const QString& name) const
    {
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if ((button->text() == name || button->accessibleName() == name) && button->isVisibleTo(window.get()))
                return button;
        return nullptr;
    }
    // Whether a label shows this text (line breaks read as spaces).
    bool shows(const QString& text) const
    {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (QString(label->text()).replace(QLatin1Char('\n'), QLatin1Char(' ')) == text && label->isVisibleTo(window.get()))
                return true;
        return false;
    }
    PromptField* prompt() const { return window->findChild<PromptField*>(); }
    // The prompt's hint, and whether it takes typing.
    std::pair<QString, bool> promptState() const { return {prompt()->placeholderText(), prompt()->isEnabled()}; }
    void click(const QString& name) { button(name)->click(); settle(); }
    void set(const QString& key, const QVariant& value) { tp.settings->setValue(key, value); settle(); }
    void playTrack(const QString& sevenLines)
    {
        tp.players->running = {QStringLiteral("Music")};
        tp.players->queries.clear();
        state->startNowPlaying();
        tp.queue->advance(3.0);
        ASSERT_TRUE(tp.players->answerText(sevenLines));
        settle();
    }

    LoopbackHttpServer backend;
    TestPlatform tp;
    std::unique_ptr<AppState> state;
    std::unique_ptr<PanelWindow> window;
};

TEST_F(PanelViewTest, WallpaperRowsFollowTheWallpaperTheDisplayPickerOnlySelectsAndADragSendsTheLook)
{
    tp.screens->screens = {{QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, {QStringLiteral("RIGHT"), QRect(640, 0, 640, 360)}};
    open();
    EXPECT_FALSE(button("Remove")->isEnabled());
    for (QComboBox* box : window->findChildren<QComboBox*>())
        if (box->findText(QStringLiteral("RIGHT")) >= 0)
            QTest::keyClick(box, Qt::Key_Down);
    settle();
    EXPECT_TRUE(tp.host->made.isEmpty()) << "choosing a display places nothing";

    click("Set as Wallpaper");
    ASSERT_EQ(tp.host->made.size(), 1);
    EXPECT_EQ(tp.host->made.last().screen.name, QStringLiteral("RIGHT"));
    EXPECT_TRUE(button("Move Here"));
    EXPECT_TRUE(button("Remove")->isEnabled());
    EXPECT_TRUE(shows("Theme"));

    // A drag sends the look on every move and once more on release.
    tp.queue->advance(2.0);  // past the fresh page's settings
    FakePage& page = tp.host->last()->fakePage;
    page.calls.clear();
    LookSlider* speed = window->findChildren<LookSlider*>().value(1);
    ASSERT_EQ(speed->label(), QStringLiteral("Speed"));
    speed->slider()->setSliderDown(true);
    for (const int position : {5000, 6000, 7143})
        speed->slider()->setValue(position);
    speed->slider()->setSliderDown(false);
    EXPECT_EQ(page.evaluated().filter(QStringLiteral("vesmerSetLook(")).size(), 4);
    EXPECT_EQ(speed->valueText(), QStringLiteral("1.50"));
    EXPECT_NEAR(tp.settings->doubleValue(QStringLiteral("look.speed")), 1.5, 0.001);

    state->setThemeName(QStringLiteral("Aurora"));
    settle();
    EXPECT_TRUE(shows("Aurora"));
    click("Remove");
    EXPECT_TRUE(button("Set as Wallpaper"));
    EXPECT_FALSE(shows("Theme"));
}

TEST_F(PanelViewTest, NowPlayingShowsCoverOrPlaceholderOrHint)
{
    open();
    EXPECT_TRUE(shows("Nothing playing in Spotify or Music."));
    QImage cover(64, 64, QImage::Format_RGB32);
    cover.fill(Qt::red);
    ASSERT_TRUE(cover.save(tp.dir() + QStringLiteral("/cover.png")));
    NowPlayingSection& section = window->view().nowPlaying();
    playTrack(QStringLiteral("Song\nBand\n%1\ntrue\nRecord\n215\n12").arg(QUrl::fromLocalFile(tp.dir() + "/cover.png").toString()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return section.showsCover(); }, 5000));
    EXPECT_TRUE(shows("Song"));
    EXPECT_TRUE(shows(QStringLiteral("Band \u00b7 Music")));
    state->setLyricLine(QStringLiteral("first line"));
    settle();
    EXPECT_TRUE(shows("first line"));

    playTrack(QStringLiteral("Other\nBand\n\nfalse\nRecord\n215\n12"));
    EXPECT_FALSE(section.showsCover()) << "no cover address: the note placeholder";

    tp.players->queries.clear();
    tp.queue->advance(3.0);
    ASSERT_TRUE(tp.players->answer({true, PlayerReply::kNotPermitted, std::nullopt, QStringLiteral("org.mpris.MediaPlayer2.x")}));
    settle();
    ASSERT_TRUE(state->permissionHint());
    EXPECT_TRUE(shows(*state->permissionHint()));
    EXPECT_FALSE(shows("Nothing playing in Spotify or Music."));
}

TEST_F(PanelViewTest, SignInStatesAndWhenThePromptMayGenerate)
{
    const QString autoHint = QStringLiteral("Auto mode is steering \u2014 turn it off to type");
    const QString typeHint = QStringLiteral("Describe the visuals\u2026");
    backend.queued = {{403, "{}"}};
    open();
    EXPECT_TRUE(button("Sign in with Vesmer"));
    EXPECT_EQ(promptState(), std::pair(autoHint, false));
    set(QStringLiteral("auto.scenes"), false);
    EXPECT_EQ(promptState(), std::pair(typeHint, false)) << "signed out";
    set(QStringLiteral("auto.scenes"), true);

    // A key written elsewhere is checked and shown at once; the backend refuses it.
    set(QStringLiteral("pro.key"), QStringLiteral("k1"));
    EXPECT_FALSE(button("Sign in with Vesmer"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->keyState() == QLatin1String("invalid"); }, 5000));
    settle();
    EXPECT_EQ(backend.requests.size(), 1);
    EXPECT_TRUE(shows(QStringLiteral("session expired \u2014 sign in again")));
    click(QStringLiteral("Sign in again\u2026"));
    EXPECT_EQ(tp.desktop->openedUrls.size(), 1);

    // Signed in (no verdict yet), auto off: typing opens Generate, Return generates.
    tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("k2"));
    set(QStringLiteral("auto.scenes"), false);
    EXPECT_FALSE(button("Sign in again\u2026"));
    ASSERT_EQ(promptState(), std::pair(typeHint, true));
    prompt()->setPlainText(QStringLiteral("   "));
    EXPECT_FALSE(button("Generate")->isEnabled()) << "a blank prompt";
    prompt()->setPlainText(QStringLiteral("deep sea"));
    EXPECT_TRUE(button("Generate")->isEnabled());
    QTest::keyClick(prompt(), Qt::Key_Return);
    EXPECT_EQ(state->composeStatus(), QStringLiteral("set a wallpaper first"));
    EXPECT_EQ(prompt()->text(), QStringLiteral("deep sea"));

    // Auto on again: the text stays, typing and Return are closed.
    state->setComposeStatus({});
    set(QStringLiteral("auto.scenes"), true);
    EXPECT_EQ(promptState(), std::pair(autoHint, false));
    EXPECT_FALSE(button("Generate")->isEnabled());
    EXPECT_EQ(prompt()->text(), QStringLiteral("deep sea"));
    QTest::keyClick(prompt(), Qt::Key_Return);
    EXPECT_EQ(state->composeStatus(), QString());
}

TEST_F(PanelViewTest, PresetsSectionComesAndGoesAndDeleteTakesOnlyThatPreset)
{
    const Preset first{QUuid::createUuid(), QStringLiteral("Same"), QStringLiteral("{\"a\":1}")};
    const Preset second{QUuid::createUuid(), QStringLiteral("Same"), QStringLiteral("{\"b\":2}")};
    tp.settings->setValue(QStringLiteral("presets"), Presets::encode({first, second}));
    open();
    EXPECT_TRUE(shows("Presets"));
    EXPECT_EQ(button("Delete preset")->toolTip(), QStringLiteral("Delete this preset"));
    click("Delete preset");  // the first one's
    EXPECT_EQ(state->presets(), QList<Preset>{second});

    click("Delete preset");
    EXPECT_FALSE(shows("Presets")) << "no presets, no section";
}

TEST_F(PanelViewTest, ACoveredPanelRepaintsNothingAndCatchesUpWhenUncovered)
{
    open();
    state->startCapture();
    tp.capture->write(std::vector<float>(1600, 0.4f));
    tp.queue->advance(0.2);
    ASSERT_TRUE(state->capturing());
    tp.events->setCovered(true);
    settle();
    ASSERT_FALSE(state->panelVisible());
    PaintCounter counter(*window);
    tp.capture->write(std::vector<float>(1600, 0.05f));
    tp.queue->advance(1.0);
    state->setThemeName(QStringLiteral("Nebula"));
    state->setLyricLine(QStringLiteral("hidden line"));
    state->setComposeStatus(QStringLiteral("\u2713 live"));
    settle();  // any repaint scheduled would run here
    EXPECT_EQ(counter.paints, 0);

    tp.events->setCovered(false);
    settle();
    settle();
    EXPECT_GT(counter.paints, 0);
    EXPECT_TRUE(shows(QStringLiteral("\u2713 live")));
}
