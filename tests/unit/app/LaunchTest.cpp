#include <QFile>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/Application.h"
#include "app/CommandLine.h"

namespace {

const QString kKey = QStringLiteral("pro.key");

QProcessEnvironment environment(const char* name, const QString& value)
{
    QProcessEnvironment env;
    env.insert(QLatin1String(name), value);
    return env;
}

// One app start on test doubles: the state and its application object.
struct Launch {
    explicit Launch(const CommandLine& commandLine, bool launchedBefore = false)
    {
        if (launchedBefore)
            tp.settings->setValue(QStringLiteral("didAutoStart"), true);
        state = std::make_unique<AppState>(tp.take());
        app = std::make_unique<Application>(*state, commandLine);
    }
    TestPlatform tp;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Application> app;
};

}  // namespace

// The flags and variables themselves are the launch rows' and the process test's.
TEST(CommandLine, KeepsUrlsAndUnknownFlagsInOrderAndWarnsOnOneShortLine)
{
    const auto line = CommandLine::parse({"vesmer://activate?key=a", "--frobnicate", "-x", "second"}, environment("VESMER_PREVIEW", "1"));
    EXPECT_EQ(line.urls, QStringList({"vesmer://activate?key=a", "second"}));
    EXPECT_EQ(line.unknownFlags, QStringList({"--frobnicate", "-x"}));
    EXPECT_FALSE(line.wallpaper);
    const QString warning = CommandLine::unknownFlagWarning(QStringLiteral("--evil\nline") + QString(500, 'x'));
    EXPECT_FALSE(warning.contains(QLatin1Char('\n')));
    EXPECT_LT(warning.size(), 200);
}

TEST(Launch, ShowsTheFirstLaunchWallpaperOnceAndFollowsTheFlags)
{
    struct Row {
        const char* name;
        QStringList args;
        QProcessEnvironment env;
        bool launchedBefore;
        QList<bool> previewsMade;  // one entry per window made, in order
        bool screens = true;
    };
    const Row rows[] = {
        {"first launch", {}, {}, false, {false}},
        {"second launch", {}, {}, true, {}},
        {"--wallpaper", {"--wallpaper"}, {}, true, {false}},
        {"VESMER_WALLPAPER empty", {}, environment("VESMER_WALLPAPER", ""), true, {false}},
        {"--preview", {"--preview"}, {}, true, {true}},
        {"--preview with VESMER_WALLPAPER", {"--preview"}, environment("VESMER_WALLPAPER", "0"), true, {false}},
        {"first launch with --wallpaper replaces", {"--wallpaper"}, {}, false, {false, false}},
        {"no screens: nothing shown, but the first launch counts", {"--wallpaper"}, {}, false, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Launch launch(CommandLine::parse(row.args, row.env), row.launchedBefore);
        if (!row.screens)
            launch.tp.screens->screens.clear();
        launch.app->launch();
        QList<bool> previews;
        for (const auto& made : launch.tp.host->made) {
            previews << made.preview;
            EXPECT_EQ(made.screen, launch.tp.screens->screens.first());
        }
        EXPECT_EQ(previews, row.previewsMade);
        EXPECT_TRUE(launch.tp.settings->boolValue(QStringLiteral("didAutoStart")));
        EXPECT_GE(launch.tp.desktop->broughtToFront, 1);
    }
}

TEST(Launch, TestGraphIsAppliedAfterItsDelayAndItsAnswerOrUnreadabilityLogged)
{
    const QByteArray graph = "{\"nodes\":[\"é\",\"a/b\"]}";
    const QString script = QStringLiteral("vesmerApplyGraph(") + AppState::jsString(QString::fromUtf8(graph)) + QLatin1Char(')');
    TestPlatform files;
    const QString path = files.dir() + QStringLiteral("/graph.json");
    const QString result = QStringLiteral("[vesmer] test-graph result: ");
    struct Row {
        const char* name;
        std::optional<QByteArray> file;  // none: missing
        ScriptReply reply;
        QString line;  // empty: none
        bool launchedBefore = false;
    };
    const Row rows[] = {
        {"string answer", graph, {QStringLiteral("ok"), std::nullopt}, result + QStringLiteral("ok")},
        {"error", graph, {std::nullopt, QStringLiteral("ReferenceError: x")}, result + QStringLiteral("ReferenceError: x")},
        {"no value", graph, {}, result + QStringLiteral("no reply")},
        {"missing file", std::nullopt, {}, QStringLiteral("[vesmer] test-graph unreadable: ") + path},
        {"bad UTF-8", QByteArray("{\"a\":\"\xff\xfe\"}"), {}, QStringLiteral("[vesmer] test-graph unreadable: ") + path},
        {"no wallpaper: dropped silently", graph, {}, {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile file(path);
        file.remove();
        ASSERT_TRUE(!row.file || (file.open(QIODevice::WriteOnly) && file.write(*row.file) == row.file->size()));
        file.close();
        Launch launch(CommandLine::parse({}, environment("VESMER_TEST_GRAPH", path)), row.launchedBefore);
        launch.tp.host->replies.insert(script, row.reply);
        launch.app->launch();
        const auto applied = [&] { return launch.tp.host->made.isEmpty() ? 0 : launch.tp.host->last()->fakePage.countOf(script); };

        launch.tp.queue->advance(Application::kTestGraphDelay - 0.01);
        EXPECT_EQ(launch.tp.log->lines.filter(QStringLiteral("test-graph")), QStringList());
        EXPECT_EQ(applied(), 0);
        launch.tp.queue->advance(0.02);
        EXPECT_EQ(launch.tp.log->lines.filter(QStringLiteral("test-graph")), row.line.isEmpty() ? QStringList() : QStringList(row.line));
        EXPECT_EQ(applied(), row.line.startsWith(result) ? 1 : 0);
    }
}

TEST(OpenUrls, HandlesEveryUrlInOrderAndHandsEachFirstUsableKeyToSignIn)
{
    const struct {
        const char* url;  // "{MB}" stands for a megabyte of text
        const char* key;  // the key stored, or none
    } rows[] = {
        {"vesmer://activate?x=1&key=abc", "abc"},
        {"vesmer://activate?key=one&key=two", "one"},
        {"vesmer://activate/?key=abc", "abc"},
        {"vesmer://activate?key=a%2Bb%20c%C3%A9", "a+b cé"},
        {"vesmer://activate?key=abc%0A", "abc\n"},
        {"vesmer://activate?key=", nullptr},
        {"vesmer://activate?key=&key=abc", nullptr},
        {"vesmer://activate?x=1", nullptr},
        {"vesmer://Activate?key=abc", nullptr},
        {"Vesmer://activate?key=abc", nullptr},
        {"vesmer:activate?key=abc", nullptr},
        {"vesmer://activated?key=abc", nullptr},
        {"vesmer://activate?key=ab%00cd", nullptr},
        {"vesmer://activate?key=ab%0D%0AX-Evil:%201", nullptr},
        {"vesmer://activate?key=ab%7Fcd", nullptr},
        {"\x01\x02 ::: %%%", nullptr},
        {"vesmer://activate?pad={MB}&key=abc", "abc"},
        {"vesmer://activate?key={MB}", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        Launch launch(CommandLine{}, true);
        launch.app->openUrls({QString::fromUtf8(row.url).replace(QStringLiteral("{MB}"), QString(1 << 20, QLatin1Char('k')))});
        const Settings& settings = *launch.tp.settings;
        EXPECT_EQ(settings.hasOwnValue(kKey) ? settings.stringValue(kKey) : QString(), QString::fromUtf8(row.key));
        EXPECT_EQ(launch.tp.desktop->broughtToFront, row.key ? 1 : 0);
    }

    Launch several(CommandLine{}, true);
    several.app->openUrls({"vesmer://activate?key=first", "https://example.org/", "vesmer://activate?key=second"});
    EXPECT_EQ(several.tp.settings->stringValue(kKey), QStringLiteral("second"));
    EXPECT_EQ(several.tp.desktop->broughtToFront, 2);

    Launch withArgument(CommandLine::parse({QStringLiteral("vesmer://activate?key=abc")}, {}), true);
    withArgument.app->launch();
    EXPECT_EQ(withArgument.tp.settings->stringValue(kKey), QStringLiteral("abc"));
}

// Closing the panel with or without a wallpaper, and activation, are the process test's.
TEST(Lifecycle, ShutdownRunsOnceAndThenClosingThePanelQuits)
{
    Launch launch(CommandLine{});
    QSignalSpy quitRequests(launch.app.get(), &Application::quitRequested);
    launch.app->launch();
    ASSERT_NE(launch.state->wallpaper(), nullptr);
    launch.app->terminate();
    EXPECT_EQ(launch.state->wallpaper(), nullptr);
    EXPECT_FALSE(launch.state->capturing());
    launch.app->terminate();
    launch.app->panelClosed();
    EXPECT_EQ(quitRequests.count(), 1);
}
