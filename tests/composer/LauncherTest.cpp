// The app starts the composer: ComposerLauncher with a real vesmer-composer child
// on a free loopback port, a composer that already runs, a port held by
// something else, and no program at all.
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

#include "ComposerTestTools.h"
#include "FakeSystem.h"
#include "LoopbackHttpServer.h"
#include "compose/ComposerLauncher.h"
#include "platform/qt/QtMainQueue.h"

using namespace composer::test;

namespace {

using State = ComposerLauncher::State;

bool processAlive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }

class ComposerLauncherTest : public ::testing::Test {
protected:
    QString origin(int port) const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QStringList programs() const
    {
        return {m_data.filePath(QStringLiteral("nowhere/vesmer-composer")), QStringLiteral(VESMER_COMPOSER_PROGRAM)};
    }
    bool settle(const ComposerLauncher& l)
    {
        return QTest::qWaitFor([&] {
            const State s = l.state();
            return s != State::Probing && s != State::Starting && s != State::IssuingKey && s != State::Idle;
        }, 15000);
    }

    QtMainQueue queue;
    MemoryLog log;
    QTemporaryDir m_data;  // where no program is
};

}  // namespace

TEST_F(ComposerLauncherTest, TheProgramIsLookedForBesideTheAppThenInLibexec)
{
    EXPECT_EQ(ComposerLauncher::defaultPrograms("/opt/v/bin", "/usr"),
              (QStringList{"/opt/v/bin/vesmer-composer", "/usr/libexec/vesmer-composer"}));
}

TEST_F(ComposerLauncherTest, StartsTheComposerIssuesAKeyAndEndsTheChild)
{
    const int port = freeLoopbackPort();
    QStringList keys;
    qint64 pid = 0;
    {
        ComposerLauncher launcher(queue, log, programs(), [&](QString key) { keys << key; }, origin(port));
        launcher.start(origin(port), false);
        ASSERT_TRUE(settle(launcher));
        ASSERT_EQ(launcher.state(), State::Running) << log.lines.join(QLatin1Char('\n')).toStdString();
        pid = launcher.childPid();
        EXPECT_TRUE(processAlive(pid));
        ASSERT_EQ(keys.size(), 1);
        ASSERT_EQ(log.lines.size(), 1);
        EXPECT_TRUE(log.lines[0].startsWith("[vesmer] composer: started ") && log.lines[0].contains("issued a key"));
        EXPECT_FALSE(log.lines[0].contains(keys[0]));

        EXPECT_EQ(Http(origin(port)).get("/api/desktop-key", withKey(keys[0])).status, 200);
    }
    // Ended with the launcher (the app quitting).
    EXPECT_FALSE(processAlive(pid));
}

// Every case but the first start: the composer is started without a key, or
// not at all, with at most one log line and never a key issued.
TEST_F(ComposerLauncherTest, OtherwiseItStartsNoMoreThanNeededAndSaysSoInOneLine)
{
    LiveServer running;
    SilentHttpServer silent;
    // A web server that is not a composer.
    httplib::Server web;
    web.Get("/healthz", [](const httplib::Request&, httplib::Response& res) { res.set_content("<h1>hi</h1>", "text/html"); });
    const int webPort = web.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { web.listen_after_bind(); });

    // A "composer" that takes connections and never answers a byte.
    const QString mute = m_data.filePath("mute-composer");
    QFile script(mute);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec " NODE_EXECUTABLE " -e \"const [h, p] = process.argv[1].split(':');"
                 " require('net').createServer(() => {}).listen(+p, h)\" \"$2\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);

    const int port = freeLoopbackPort(), mutePort = freeLoopbackPort();
    const QString held = "held by something that is not vesmer-composer";
    const struct {
        const char* what;
        QString origin, base;
        bool hasKey;
        QStringList programs;
        State state;
        QString line;  // what the one log line says; null: no line
    } cases[] = {
        {"a key configured", origin(port), origin(port) + "/", true, programs(), State::Running, "started"},
        {"another base URL", origin(port), "https://composer.example.org", false, programs(), State::NotNeeded, {}},
        {"already running", running.base(), running.base(), false, programs(), State::AlreadyRunning, "already running"},
        {"a silent port", origin(silent.url().port()), origin(silent.url().port()), false, programs(), State::PortHeld, held},
        {"another web server", origin(webPort), origin(webPort), false, programs(), State::PortHeld, held},
        {"no program", origin(port), origin(port), false, {m_data.filePath("missing")}, State::Failed, "not found"},
        {"a child that never answers", origin(mutePort), origin(mutePort), false, {mute}, State::Failed, "within 8 s"},
    };
    for (const auto& c : cases) {
        MemoryLog lines;
        int calls = 0, answered = 0;
        {
            ComposerLauncher launcher(queue, lines, c.programs, [&](QString) { ++calls; }, c.origin);
            launcher.start(c.base, c.hasKey, [&] { ++answered; });
            if (c.state == State::NotNeeded)
                QTest::qWait(50);
            else
                EXPECT_TRUE(settle(launcher)) << c.what;
            EXPECT_EQ(launcher.state(), c.state) << c.what;
            EXPECT_EQ(launcher.childPid() != 0, c.state == State::Running) << c.what;
        }
        EXPECT_EQ(calls, 0) << c.what;
        // Only our own child coming up with a key in hand asks for the key check.
        EXPECT_EQ(answered, c.state == State::Running ? 1 : 0) << c.what;
        EXPECT_EQ(lines.lines.size(), c.line.isNull() ? 0 : 1) << c.what;
        if (!c.line.isNull() && !lines.lines.isEmpty()) {
            EXPECT_TRUE(lines.lines[0].contains(c.line)) << c.what << ": " << lines.lines[0].toStdString();
            EXPECT_TRUE(!c.hasKey || !lines.lines[0].contains("key")) << c.what;
        }
    }
    web.stop();
    serving.join();
}
