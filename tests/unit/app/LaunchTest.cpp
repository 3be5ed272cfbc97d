#include <QFile>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/Application.h"
#include "app/CommandLine.h"

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QLatin1String(name), QString::fromUtf8(value));
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
    QList<bool> previewsMade() const
    {
        QList<bool> previews;
        for (const auto& made : tp.host->made)
            previews << made.preview;
        return previews;
    }
    TestPlatform tp;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Application> app;
};

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

}  // namespace

TEST(CommandLine, ReadsFlagsEnvironmentAndUrls)
{
    const auto line = CommandLine::parse(
        {QStringLiteral("vesmer://activate?key=a"), QStringLiteral("--preview"), QStringLiteral("--frobnicate"),
         QStringLiteral("-x"), QStringLiteral("second")},
        environment({{"VESMER_TEST_GRAPH", "/tmp/g.json"}}));
    EXPECT_FALSE(line.wallpaper);
    EXPECT_TRUE(line.preview);
    EXPECT_EQ(line.testGraphPath, QStringLiteral("/tmp/g.json"));
    EXPECT_EQ(line.urls, QStringList({QStringLiteral("vesmer://activate?key=a"), QStringLiteral("second")}));
    EXPECT_EQ(line.unknownFlags, QStringList({QStringLiteral("--frobnicate"), QStringLiteral("-x")}));

    EXPECT_TRUE(CommandLine::parse({}, environment({{"VESMER_WALLPAPER", ""}})).wallpaper);
    EXPECT_FALSE(CommandLine::parse({}, environment({{"VESMER_PREVIEW", "1"}})).wallpaper);
    EXPECT_TRUE(CommandLine::parse({QStringLiteral("--help")}, {}).help);
    EXPECT_TRUE(CommandLine::parse({QStringLiteral("--version")}, {}).version);

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
    };
    const QStringList none;
    const Row rows[] = {
        {"first launch", none, {}, false, {false}},
        {"second launch", none, {}, true, {}},
        {"--wallpaper", {QStringLiteral("--wallpaper")}, {}, true, {false}},
        {"VESMER_WALLPAPER empty", none, environment({{"VESMER_WALLPAPER", ""}}), true, {false}},
        {"--preview", {QStringLiteral("--preview")}, {}, true, {true}},
        {"--preview with --wallpaper", {QStringLiteral("--preview"), QStringLiteral("--wallpaper")}, {}, true, {false}},
        {"--preview with VESMER_WALLPAPER", {QStringLiteral("--preview")}, environment({{"VESMER_WALLPAPER", "0"}}),
         true, {false}},
        {"first launch with --wallpaper replaces", {QStringLiteral("--wallpaper")}, {}, false, {false, false}},
        {"unknown flag ignored", {QStringLiteral("--bogus")}, {}, true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Launch launch(CommandLine::parse(row.args, row.env), row.launchedBefore);
        launch.app->launch();

        EXPECT_EQ(launch.previewsMade(), row.previewsMade);
        EXPECT_TRUE(launch.tp.settings->boolValue(QStringLiteral("didAutoStart")));
        EXPECT_GE(launch.tp.desktop->broughtToFront, 1);
        for (const auto& made : launch.tp.host->made)
            EXPECT_EQ(made.screen, launch.tp.screens->screens.first());
    }
}

TEST(Launch, WithoutScreensShowsNothingButCountsTheFirstLaunch)
{
    Launch launch(CommandLine::parse({QStringLiteral("--wallpaper")}, {}));
    launch.tp.screens->screens.clear();
    launch.app->launch();
    EXPECT_TRUE(launch.tp.host->made.isEmpty());
    EXPECT_EQ(launch.state->wallpaper(), nullptr);
    EXPECT_TRUE(launch.tp.settings->boolValue(QStringLiteral("didAutoStart")));
}

TEST(Launch, TestGraphIsAppliedAfterItsDelayAndItsAnswerLogged)
{
    const QString graph = QStringLiteral("{\"nodes\":[\"é\",\"a/b\"]}");
    const QString script = QStringLiteral("vesmerApplyGraph(") + AppState::jsString(graph) + QLatin1Char(')');
    struct Row {
        const char* name;
        ScriptReply reply;
        QString line;
    };
    const Row rows[] = {
        {"string answer", {QStringLiteral("ok"), std::nullopt}, QStringLiteral("[vesmer] test-graph result: ok")},
        {"error", {std::nullopt, QStringLiteral("ReferenceError: x")},
         QStringLiteral("[vesmer] test-graph result: ReferenceError: x")},
        {"no value", {}, QStringLiteral("[vesmer] test-graph result: no reply")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestPlatform files;
        const QString path = writeFile(files.dir() + QStringLiteral("/graph.json"), graph.toUtf8());
        Launch launch(CommandLine::parse({}, environment({{"VESMER_TEST_GRAPH", qPrintable(path)}})));
        launch.tp.host->replies.insert(script, row.reply);
        launch.app->launch();

        launch.tp.queue->advance(Application::kTestGraphDelay - 0.01);
        EXPECT_EQ(launch.tp.log->countStartingWith(QStringLiteral("[vesmer] test-graph")), 0);
        EXPECT_EQ(launch.tp.host->last()->fakePage.countOf(script), 0);
        launch.tp.queue->advance(0.02);
        EXPECT_EQ(launch.tp.host->last()->fakePage.countOf(script), 1);
        EXPECT_EQ(launch.tp.log->countStartingWith(QStringLiteral("[vesmer] test-graph")), 1);
        EXPECT_EQ(launch.tp.log->count(row.line), 1);
    }
}

TEST(Launch, UnreadableTestGraphIsReportedAndNoWallpaperDropsItSilently)
{
    TestPlatform files;
    const QString missing = files.dir() + QStringLiteral("/missing.json");
    const QString badUtf8 = writeFile(files.dir() + QStringLiteral("/bad.json"), QByteArray("{\"a\":\"\xff\xfe\"}"));
    for (const QString& path : {missing, badUtf8}) {
        SCOPED_TRACE(path.toStdString());
        Launch launch(CommandLine::parse({}, environment({{"VESMER_TEST_GRAPH", qPrintable(path)}})));
        launch.app->launch();
        launch.tp.queue->advance(Application::kTestGraphDelay + 0.1);
        EXPECT_EQ(launch.tp.log->lines.filter(QStringLiteral("test-graph")),
                  QStringList(QStringLiteral("[vesmer] test-graph unreadable: ") + path));
    }

    const QString good = writeFile(files.dir() + QStringLiteral("/good.json"), "{}");
    Launch noWallpaper(CommandLine::parse({}, environment({{"VESMER_TEST_GRAPH", qPrintable(good)}})), true);
    noWallpaper.app->launch();
    noWallpaper.tp.queue->advance(Application::kTestGraphDelay + 0.1);
    EXPECT_EQ(noWallpaper.tp.log->countStartingWith(QStringLiteral("[vesmer] test-graph")), 0);
}

TEST(OpenUrls, HandsTheFirstUsableKeyToSignInAndComesToTheFront)
{
    const QString megabyte(1 << 20, QLatin1Char('k'));
    struct Row {
        const char* name;
        QString url;
        std::optional<QString> storedKey;
    };
    const Row rows[] = {
        {"key", QStringLiteral("vesmer://activate?key=abc"), QStringLiteral("abc")},
        {"another item before key", QStringLiteral("vesmer://activate?x=1&key=abc"), QStringLiteral("abc")},
        {"first key item wins", QStringLiteral("vesmer://activate?key=one&key=two"), QStringLiteral("one")},
        {"path before query", QStringLiteral("vesmer://activate/?key=abc"), QStringLiteral("abc")},
        {"percent-encoded", QStringLiteral("vesmer://activate?key=a%2Bb%20c%C3%A9"), QStringLiteral("a+b cé")},
        {"trailing line break kept", QStringLiteral("vesmer://activate?key=abc%0A"), QStringLiteral("abc\n")},
        {"empty key", QStringLiteral("vesmer://activate?key="), std::nullopt},
        {"key without value", QStringLiteral("vesmer://activate?key"), std::nullopt},
        {"empty first key", QStringLiteral("vesmer://activate?key=&key=abc"), std::nullopt},
        {"no key", QStringLiteral("vesmer://activate?x=1"), std::nullopt},
        {"other host", QStringLiteral("vesmer://login?key=abc"), std::nullopt},
        {"host in other case", QStringLiteral("vesmer://Activate?key=abc"), std::nullopt},
        {"scheme in other case", QStringLiteral("Vesmer://activate?key=abc"), std::nullopt},
        {"other scheme", QStringLiteral("https://activate?key=abc"), std::nullopt},
        {"no authority", QStringLiteral("vesmer:activate?key=abc"), std::nullopt},
        {"host prefix", QStringLiteral("vesmer://activated?key=abc"), std::nullopt},
        {"encoded NUL inside key", QStringLiteral("vesmer://activate?key=ab%00cd"), std::nullopt},
        {"encoded CR LF inside key", QStringLiteral("vesmer://activate?key=ab%0D%0AX-Evil:%201"), std::nullopt},
        {"encoded DEL inside key", QStringLiteral("vesmer://activate?key=ab%7Fcd"), std::nullopt},
        {"not a URL", QStringLiteral("\x01\x02 ::: %%%"), std::nullopt},
        {"1 MB URL, short key", QStringLiteral("vesmer://activate?pad=") + megabyte + QStringLiteral("&key=abc"),
         QStringLiteral("abc")},
        {"1 MB key", QStringLiteral("vesmer://activate?key=") + megabyte, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Launch launch(CommandLine{}, true);
        launch.app->openUrls({row.url});
        const Settings& settings = *launch.tp.settings;
        if (row.storedKey) {
            EXPECT_EQ(settings.stringValue(QStringLiteral("pro.key")), *row.storedKey);
            EXPECT_EQ(launch.tp.desktop->broughtToFront, 1);
        } else {
            EXPECT_FALSE(settings.hasOwnValue(QStringLiteral("pro.key")));
            EXPECT_EQ(launch.tp.desktop->broughtToFront, 0);
        }
    }
}

TEST(OpenUrls, HandlesEveryUrlInOrderIncludingTheFirstInstanceArguments)
{
    Launch several(CommandLine{}, true);
    several.app->openUrls({QStringLiteral("vesmer://activate?key=first"), QStringLiteral("https://example.org/"),
                           QStringLiteral("vesmer://activate?key=second")});
    EXPECT_EQ(several.tp.settings->stringValue(QStringLiteral("pro.key")), QStringLiteral("second"));
    EXPECT_EQ(several.tp.desktop->broughtToFront, 2);

    Launch withArgument(CommandLine::parse({QStringLiteral("vesmer://activate?key=abc")}, {}), true);
    withArgument.app->launch();
    EXPECT_EQ(withArgument.tp.settings->stringValue(QStringLiteral("pro.key")), QStringLiteral("abc"));
}

TEST(Lifecycle, PanelClosingQuitsOnlyWithoutWallpaperAndShutdownRunsOnce)
{
    Launch launch(CommandLine{});
    int quitRequests = 0;
    QObject::connect(launch.app.get(), &Application::quitRequested, [&] { ++quitRequests; });
    launch.app->launch();
    ASSERT_NE(launch.state->wallpaper(), nullptr);

    launch.app->panelClosed();
    EXPECT_EQ(quitRequests, 0);

    launch.app->terminate();
    EXPECT_EQ(launch.state->wallpaper(), nullptr);
    EXPECT_FALSE(launch.state->capturing());
    launch.app->terminate();

    launch.app->panelClosed();
    EXPECT_EQ(quitRequests, 1);

    launch.app->activate();
    EXPECT_EQ(launch.tp.desktop->broughtToFront, 2);
}
