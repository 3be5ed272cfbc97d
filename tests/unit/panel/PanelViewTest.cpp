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
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& window) : m_window(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget && (widget == &m_window || m_window.isAncestorOf(widget)))
            ++paints;
        return false;
    }
    int paints = 0;

private:
    QWidget& m_window;
};

}  // namespace

class PanelViewTest : public ::testing::Test {
protected:
    PanelViewTest()
    {
        // Key checks go to this loopback backend, never to a composer that may run here.
        QDir().mkpath(QFileInfo(ComposeClient::configPath()).absolutePath());
        QFile config(ComposeClient::configPath());
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"baseUrl":"%1"})").arg(backend.origin()).toUtf8());
    }
    ~PanelViewTest() override { QFile::remove(ComposeClient::configPath()); }

    void open()
    {
        Platform platform = tp.take();
        platform.lyricsService = backend.url();
        state = std::make_unique<AppState>(std::move(platform));
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
    QAbstractButton* button(const QString& titleOrName) const
    {
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if ((button->text() == titleOrName || button->accessibleName() == titleOrName) && shown(button))
                return button;
        return nullptr;
    }
    QLabel* label(const QString& text) const
    {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (QString(label->text()).replace(QLatin1Char('\n'), QLatin1Char(' ')) == text && shown(label))
                return label;
        return nullptr;
    }
    QComboBox* picker(const QString& entry) const
    {
        for (QComboBox* box : window->findChildren<QComboBox*>())
            if (box->findText(entry) >= 0)
                return box;
        return nullptr;
    }
    PromptField* prompt() const { return window->findChild<PromptField*>(); }
    bool shown(const QWidget* widget) const { return widget && widget->isVisibleTo(window.get()); }
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

TEST_F(PanelViewTest, WallpaperRowsFollowTheWallpaperAndTheDisplayPickerOnlySelects)
{
    tp.screens->screens = {{QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, {QStringLiteral("RIGHT"), QRect(640, 0, 640, 360)}};
    open();
    ASSERT_TRUE(state->panelVisible());
    EXPECT_EQ(window->size(), QSize(790, 540));
    ASSERT_TRUE(button("Set as Wallpaper"));
    EXPECT_FALSE(button("Remove")->isEnabled());
    EXPECT_FALSE(label("Theme"));

    QTest::keyClick(picker("RIGHT"), Qt::Key_Down);
    settle();
    EXPECT_TRUE(tp.host->made.isEmpty()) << "choosing a display places nothing";

    button("Set as Wallpaper")->click();
    settle();
    ASSERT_EQ(tp.host->made.size(), 1);
    EXPECT_EQ(tp.host->made.last().screen.name, QStringLiteral("RIGHT"));
    EXPECT_TRUE(button("Move Here"));
    EXPECT_TRUE(button("Remove")->isEnabled());
    EXPECT_TRUE(label("Theme"));
    EXPECT_TRUE(label(QStringLiteral("\u2014")));
    state->setThemeName(QStringLiteral("Aurora"));
    settle();
    EXPECT_TRUE(label(QStringLiteral("Aurora")));

    button("Remove")->click();
    settle();
    EXPECT_TRUE(button("Set as Wallpaper"));
    EXPECT_FALSE(label("Theme"));
}

TEST_F(PanelViewTest, FreshInstallShowsDefaultsAndADragSendsLookOnEveryMoveAndRelease)
{
    open();
    EXPECT_EQ(picker("In the visuals")->currentText(), QStringLiteral("In the visuals"));
    EXPECT_EQ(picker("Native")->currentText(), QStringLiteral("Native"));
    EXPECT_EQ(picker("60 fps")->currentText(), QStringLiteral("60 fps"));
    const QList<LookSlider*> sliders = window->findChildren<LookSlider*>();
    ASSERT_EQ(sliders.size(), 13);
    for (int i = 0; i < sliders.size(); ++i)
        EXPECT_EQ(sliders[i]->valueText(), i < 4 ? QStringLiteral("1.00") : QStringLiteral("0.00")) << i;

    button("Set as Wallpaper")->click();
    tp.queue->advance(2.0);  // past the fresh page's settings
    FakePage& page = tp.host->last()->fakePage;
    page.calls.clear();
    QSlider* speed = sliders[1]->slider();
    ASSERT_EQ(sliders[1]->label(), QStringLiteral("Speed"));
    speed->setSliderDown(true);
    for (const int position : {5000, 6000, 7143})
        speed->setValue(position);
    speed->setSliderDown(false);
    int looks = 0;
    for (const QString& script : page.evaluated())
        looks += script.contains(QLatin1String("vesmerSetLook("));
    EXPECT_EQ(looks, 4);
    EXPECT_EQ(sliders[1]->valueText(), QStringLiteral("1.50"));
    EXPECT_NEAR(tp.settings->doubleValue(QStringLiteral("look.speed")), 1.5, 0.001);
}

TEST_F(PanelViewTest, NowPlayingShowsCoverOrPlaceholderOrHint)
{
    open();
    EXPECT_TRUE(label("Nothing playing in Spotify or Music."));

    QImage cover(64, 64, QImage::Format_RGB32);
    cover.fill(Qt::red);
    const QString coverFile = tp.dir() + QStringLiteral("/cover.png");
    ASSERT_TRUE(cover.save(coverFile));
    NowPlayingSection& section = window->view().nowPlaying();
    playTrack(QStringLiteral("Song\nBand\n%1\ntrue\nRecord\n215\n12").arg(QUrl::fromLocalFile(coverFile).toString()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return section.showsCover(); }, 5000));
    EXPECT_TRUE(label("Song"));
    EXPECT_TRUE(label(QStringLiteral("Band \u00b7 Music")));
    state->setLyricLine(QStringLiteral("first line"));
    settle();
    EXPECT_TRUE(label("first line"));

    playTrack(QStringLiteral("Other\nBand\n\nfalse\nRecord\n215\n12"));
    EXPECT_FALSE(section.showsCover()) << "no cover address: the note placeholder";

    tp.players->queries.clear();
    tp.queue->advance(3.0);
    ASSERT_TRUE(tp.players->answer({true, PlayerReply::kNotPermitted, std::nullopt, QStringLiteral("org.mpris.MediaPlayer2.x")}));
    settle();
    ASSERT_TRUE(state->permissionHint());
    EXPECT_TRUE(label(*state->permissionHint()));
    EXPECT_FALSE(label("Nothing playing in Spotify or Music."));
}

TEST_F(PanelViewTest, SignInStatesAndWhenThePromptMayGenerate)
{
    backend.queued = {{403, "{}"}};
    open();
    EXPECT_TRUE(button("Sign in with Vesmer"));
    EXPECT_EQ(prompt()->placeholderText(), QStringLiteral("Auto mode is steering \u2014 turn it off to type"));
    EXPECT_FALSE(prompt()->isEnabled());
    tp.settings->setValue(QStringLiteral("auto.scenes"), false);
    settle();
    EXPECT_EQ(prompt()->placeholderText(), QStringLiteral("Describe the visuals\u2026"));
    EXPECT_FALSE(prompt()->isEnabled()) << "signed out";
    tp.settings->setValue(QStringLiteral("auto.scenes"), true);

    // A key written elsewhere is checked and shown at once; the backend refuses it.
    tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("k1"));
    settle();
    EXPECT_FALSE(button("Sign in with Vesmer"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->keyState() == QLatin1String("invalid"); }, 5000));
    settle();
    EXPECT_EQ(backend.requests.size(), 1);
    EXPECT_TRUE(label(QStringLiteral("session expired \u2014 sign in again")));
    button("Sign in again\u2026")->click();
    EXPECT_EQ(tp.desktop->openedUrls.size(), 1);

    // Signed in (no verdict yet), auto off: typing opens Generate, Return generates.
    tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("k2"));
    tp.settings->setValue(QStringLiteral("auto.scenes"), false);
    settle();
    EXPECT_FALSE(button("Sign in again\u2026"));
    EXPECT_EQ(prompt()->placeholderText(), QStringLiteral("Describe the visuals\u2026"));
    ASSERT_TRUE(prompt()->isEnabled());
    prompt()->setPlainText(QStringLiteral("   "));
    EXPECT_FALSE(button("Generate")->isEnabled()) << "a blank prompt";
    prompt()->setPlainText(QStringLiteral("deep sea"));
    EXPECT_TRUE(button("Generate")->isEnabled());
    QTest::keyClick(prompt(), Qt::Key_Return);
    EXPECT_EQ(state->composeStatus(), QStringLiteral("set a wallpaper first"));
    EXPECT_EQ(prompt()->text(), QStringLiteral("deep sea"));

    // Auto on again: the text stays, typing and Return are closed.
    state->setComposeStatus({});
    tp.settings->setValue(QStringLiteral("auto.scenes"), true);
    settle();
    EXPECT_FALSE(prompt()->isEnabled());
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
    EXPECT_TRUE(label("Presets"));
    QList<QAbstractButton*> trash;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->accessibleName() == QLatin1String("Delete preset") && shown(b))
            trash << b;
    ASSERT_EQ(trash.size(), 2);
    EXPECT_EQ(trash[0]->toolTip(), QStringLiteral("Delete this preset"));
    trash[0]->click();
    settle();
    EXPECT_EQ(state->presets(), QList<Preset>{second});
    EXPECT_EQ(Presets::decode(tp.settings->value(QStringLiteral("presets")).toByteArray()), QList<Preset>{second});

    button("Delete preset")->click();
    settle();
    EXPECT_FALSE(label("Presets")) << "no presets, no section";
}

TEST_F(PanelViewTest, ACoveredPanelRepaintsNothingAndCatchesUpWhenUncovered)
{
    open();
    state->startCapture();
    tp.capture->write(std::vector<float>(1600, 0.4f));
    tp.queue->advance(0.2);
    settle();
    ASSERT_TRUE(state->capturing());

    tp.events->setCovered(true);
    settle();
    ASSERT_FALSE(state->panelVisible());
    PaintCounter counter(*window);
    const float level = state->level();
    tp.capture->write(std::vector<float>(1600, 0.05f));
    tp.queue->advance(1.0);
    state->setThemeName(QStringLiteral("Nebula"));
    state->setLyricLine(QStringLiteral("hidden line"));
    state->setComposeStatus(QStringLiteral("\u2713 live"));
    settle();  // any repaint scheduled would run here
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(state->level(), level) << "the pump stops the level while hidden";

    tp.events->setCovered(false);
    settle();
    settle();
    EXPECT_GT(counter.paints, 0);
    EXPECT_TRUE(label(QStringLiteral("\u2713 live")));
}
