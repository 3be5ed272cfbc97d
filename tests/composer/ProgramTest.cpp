// The vesmer-composer program itself: its options, the keys commands on a real
// database, serving on loopback with one log line per request, and stopping on
// SIGTERM.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"

using namespace composer;
using namespace composer::test;

namespace {

const QString kProgram = QStringLiteral(VESMER_COMPOSER_PROGRAM);

struct Result {
    int exitCode = -1;
    QString out, err;
};

// Runs the program with space-separated arguments.
Result run(const QString& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, args.split(QLatin1Char(' ')));
    EXPECT_TRUE(p.waitForFinished(20000)) << args.toStdString();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

TEST(ComposerProgram, HelpVersionAndBadOptions)
{
    const Result help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--listen ADDR:PORT", "--db PATH", "--lexicon PATH", "--llm-url URL", "--llm-model NAME",
                               "--help", "--version", "keys issue", "keys list", "keys revoke ID", "keys invite"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    const Result version = run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("vesmer-composer 0.")) << version.out.toStdString();

    // Bad usage exits with 2; a taken port, a missing lexicon or an unknown key id with 1.
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    const QString db = " --db " + dir.filePath("k.sqlite");
    const struct { QString args; int exitCode; const char* says; } cases[] = {
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"--listen nowhere", 2, ""},
        {"keys frob" + db, 2, ""},
        {"keys revoke" + db, 2, ""},
        {QStringLiteral("--listen 127.0.0.1:%1").arg(holder.serverPort()) + db, 1, "cannot listen on"},
        {"--listen 127.0.0.1:0 --lexicon " + dir.filePath("missing.json") + db, 1, "cannot read the lexicon"},
        {"keys revoke 000000000000" + db, 1, ""}};
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
}

TEST(ComposerProgram, KeysCommandsManageARealDatabase)
{
    QTemporaryDir dir;
    const QString db = " --db " + dir.filePath("k/keys.sqlite");
    const Result issued = run("keys issue --label alice" + db);
    ASSERT_EQ(issued.exitCode, 0) << issued.err.toStdString();
    const QString key = issued.out.trimmed();
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(key).hasMatch()) << key.toStdString();
    EXPECT_FALSE(issued.err.contains(key));
    const QString id = KeyStore::hashOf(key).left(12);

    const Result list = run("keys list" + db);
    EXPECT_EQ(list.exitCode, 0);
    for (const QString& part : {id, QStringLiteral("active"), QStringLiteral("alice"), QStringLiteral("never")})
        EXPECT_TRUE(list.out.contains(part)) << part.toStdString();
    EXPECT_FALSE(list.out.contains(key));
    EXPECT_EQ(run("keys revoke " + id + db).exitCode, 0);
    EXPECT_TRUE(run("keys list" + db).out.contains("revoked"));

    const Result invite = run("keys invite" + db);
    EXPECT_EQ(invite.exitCode, 0);
    EXPECT_TRUE(QRegularExpression("^[A-Z2-9]{4}-[A-Z2-9]{4}-[A-Z2-9]{4}$").match(invite.out.trimmed()).hasMatch())
        << invite.out.toStdString();

    // Without --db: $XDG_DATA_HOME/vesmer-composer/keys.sqlite.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    EXPECT_EQ(run("keys issue", env).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("data/vesmer-composer/keys.sqlite")));
}

// With a language-model address where nothing answers: scenes still come, from
// the built-in engine, and each request is one log line.
TEST(ComposerProgram, ServesLogsEachRequestAndStopsOnSigterm)
{
    QTemporaryDir dir;
    const QString db = " --db " + dir.filePath("keys.sqlite");
    QProcess serving;
    serving.start(kProgram, QStringLiteral("--listen 127.0.0.1:0 --llm-url http://127.0.0.1:%1 --llm-model m --llm-timeout 2%2")
                                .arg(freeLoopbackPort()).arg(db).split(QLatin1Char(' ')));
    // Standard error, once it has `lines` lines and `mark`, or after ten seconds.
    QString err;
    auto readErr = [&](int lines, const QString& mark) {
        for (int i = 0; i < 1000 && (err.count(QLatin1Char('\n')) < lines || !err.contains(mark)); ++i) {
            serving.waitForReadyRead(10);
            err += QString::fromUtf8(serving.readAllStandardError());
        }
    };
    readErr(1, "listening on");
    const int port = QRegularExpression("listening on http://127\\.0\\.0\\.1:(\\d+)").match(err).captured(1).toInt();
    ASSERT_GT(port, 0) << err.toStdString();
    Http http(QStringLiteral("http://127.0.0.1:%1").arg(port));
    EXPECT_EQ(http.get("/healthz").status, 200);

    // An administrator hands out a key while the server runs.
    const QString key = run("keys issue" + db).out.trimmed();
    EXPECT_EQ(http.get("/api/desktop-key", withKey(key)).status, 200);
    // Same prompt, same graph as in this process (whose graphs the engine test draws).
    const QJsonValue here = Composer(shippedLexicon(), nullptr).compose(json(promptRequest("northern lights"))).body["graph"];
    EXPECT_EQ(http.compose(promptRequest("northern lights"), key).graph(), here);
    EXPECT_EQ(http.post("/api/compose", "{", withKey(key)).status, 400);
    run("keys revoke " + KeyStore::hashOf(key).left(12) + db);
    EXPECT_EQ(http.get("/api/desktop-key", withKey(key)).status, 401);

    readErr(6, "desktop-key 401");
    static const QRegularExpression line("^((?:GET|POST) /\\S* \\d{3}) \\d+\\.\\d ms (\\S.*)$");
    QStringList requests;  // the request lines without their times
    for (const QString& l : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (const QRegularExpressionMatch m = line.match(l); m.hasMatch())
            requests << m.captured(1) + " " + m.captured(2);
    EXPECT_EQ(requests, (QStringList{"GET /healthz 200 -", "GET /api/desktop-key 200 -",
                                     "POST /api/compose 200 builtin (llm: connection refused)", "POST /api/compose 400 -",
                                     "GET /api/desktop-key 401 -"}))
        << err.toStdString();
    EXPECT_FALSE(err.contains(key));

    QElapsedTimer t;
    t.start();
    serving.terminate();
    ASSERT_TRUE(serving.waitForFinished(5000));
    EXPECT_EQ(serving.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(serving.exitCode(), 0);
    EXPECT_LT(t.elapsed(), 4000);  // idle keep-alive connections end within 2 s
}
