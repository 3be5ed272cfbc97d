// The app starts the composer: ComposerLauncher with a real vesmer-composer child
// on a free loopback port, a composer that already runs, a port held by
// something else, and no program at all.
#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

#include "ComposerTestTools.h"
#include "FakeSystem.h"
#include "compose/BackendOrigin.h"
#include "compose/ComposerLauncher.h"
#include "platform/qt/QtMainQueue.h"

using namespace composer::test;

namespace {

using State = ComposerLauncher::State;

bool processAlive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

class ComposerLauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The child and `keys issue` share this private database.
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_savedData); }

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
    QTemporaryDir m_data;
    QByteArray m_savedData;
};

}  // namespace

TEST_F(ComposerLauncherTest, TheBuiltInOriginIsOneLoopbackConstant)
{
    EXPECT_STREQ(kBuiltInBackendOrigin, "http://127.0.0.1:38471");
    const QStringList defaults = ComposerLauncher::defaultPrograms(QStringLiteral("/opt/v/bin"), QStringLiteral("/usr"));
    EXPECT_EQ(defaults, (QStringList{QStringLiteral("/opt/v/bin/vesmer-composer"), QStringLiteral("/usr/libexec/vesmer-composer")}));
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
        EXPECT_TRUE(log.lines[0].startsWith(QLatin1String("[vesmer] composer: started ")));
        EXPECT_TRUE(log.lines[0].contains(QLatin1String("issued a key")));
        EXPECT_FALSE(log.lines[0].contains(keys[0]));

        Http http(origin(port));
        EXPECT_EQ(http.get(QStringLiteral("/healthz")).status, 200);
        EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), {{"x-app-key", keys[0].toUtf8()}}).status, 200);
        const Reply composed = http.post(QStringLiteral("/api/compose"),
                                         QJsonDocument(promptRequest(QStringLiteral("aurora"))).toJson(),
                                         {{"x-app-key", keys[0].toUtf8()}});
        EXPECT_EQ(composed.status, 200);
        EXPECT_EQ(pageVerdicts({composed.json.value(QLatin1String("graph")).toObject()}).value(0).status, QStringLiteral("ok"));
    }
    // Ended with the launcher (the app quitting).
    EXPECT_FALSE(processAlive(pid));
    EXPECT_EQ(Http(origin(port)).get(QStringLiteral("/healthz")).status, 0);
}

TEST_F(ComposerLauncherTest, WithAKeyConfiguredItOnlyStartsTheComposer)
{
    const int port = freeLoopbackPort();
    int calls = 0;
    ComposerLauncher launcher(queue, log, programs(), [&](QString) { ++calls; }, origin(port));
    launcher.start(origin(port) + QLatin1Char('/'), true);
    ASSERT_TRUE(settle(launcher));
    EXPECT_EQ(launcher.state(), State::Running);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_FALSE(log.lines[0].contains(QLatin1String("key")));
}

TEST_F(ComposerLauncherTest, AnotherBaseUrlNeedsNoComposer)
{
    ComposerLauncher launcher(queue, log, programs(), nullptr, origin(freeLoopbackPort()));
    launcher.start(QStringLiteral("https://composer.example.org"), false);
    EXPECT_EQ(launcher.state(), State::NotNeeded);
    QTest::qWait(50);
    EXPECT_EQ(launcher.childPid(), 0);
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST_F(ComposerLauncherTest, AComposerThatAlreadyRunsIsUsedAsItIs)
{
    LiveServer running;
    int calls = 0;
    ComposerLauncher launcher(queue, log, programs(), [&](QString) { ++calls; }, running.base());
    launcher.start(running.base(), false);
    ASSERT_TRUE(settle(launcher));
    EXPECT_EQ(launcher.state(), State::AlreadyRunning);
    EXPECT_EQ(launcher.childPid(), 0);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].contains(QLatin1String("already running")));
}

TEST_F(ComposerLauncherTest, APortHeldBySomethingElseIsOneLineAndNoChild)
{
    // A listener that speaks no HTTP at all.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        while (QTcpSocket* s = silent.nextPendingConnection()) {
            s->write("SSH-2.0-OpenSSH_9.2\r\n");
            s->disconnectFromHost();
        }
    });
    // And a web server that is not a composer.
    httplib::Server web;
    web.Get("/healthz", [](const httplib::Request&, httplib::Response& res) { res.set_content("<h1>hi</h1>", "text/html"); });
    const int webPort = web.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { web.listen_after_bind(); });
    while (!web.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    for (int port : {int(silent.serverPort()), webPort}) {
        MemoryLog held;
        int calls = 0;
        ComposerLauncher launcher(queue, held, programs(), [&](QString) { ++calls; }, origin(port));
        launcher.start(origin(port), false);
        ASSERT_TRUE(settle(launcher));
        EXPECT_EQ(launcher.state(), State::PortHeld) << port;
        EXPECT_EQ(launcher.childPid(), 0);
        EXPECT_EQ(calls, 0);
        ASSERT_EQ(held.lines.size(), 1);
        EXPECT_TRUE(held.lines[0].contains(QLatin1String("held by something that is not vesmer-composer")))
            << held.lines[0].toStdString();
    }
    web.stop();
    serving.join();
}

TEST_F(ComposerLauncherTest, NoProgramIsOneLine)
{
    const int port = freeLoopbackPort();
    ComposerLauncher launcher(queue, log, {m_data.filePath(QStringLiteral("missing"))}, nullptr, origin(port));
    launcher.start(origin(port), false);
    ASSERT_TRUE(settle(launcher));
    EXPECT_EQ(launcher.state(), State::Failed);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].contains(QLatin1String("not found")));
}
