// The vesmer-composer program itself: its options, the keys commands on a real
// database, serving on loopback with one log line per request, and stopping on
// SIGTERM.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
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

Result run(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, args);
    EXPECT_TRUE(p.waitForFinished(20000)) << args.join(QLatin1Char(' ')).toStdString();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The program serving on a free port; reads its first line for the port.
class Serving {
public:
    Serving(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(env);
        m_process.start(kProgram, QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} + args);
        QElapsedTimer t;
        t.start();
        static const QRegularExpression re(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
        while (t.elapsed() < 10000 && m_port == 0) {
            m_process.waitForReadyRead(100);
            m_err += QString::fromUtf8(m_process.readAllStandardError());
            if (auto m = re.match(m_err); m.hasMatch())
                m_port = m.captured(1).toInt();
            if (m_process.state() == QProcess::NotRunning)
                break;
        }
    }
    ~Serving()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    int port() const { return m_port; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    // Standard error so far, after giving the program a moment to write.
    QString err(int atLeastLines = 0)
    {
        for (int i = 0; i < 200; ++i) {
            m_process.waitForReadyRead(10);
            m_err += QString::fromUtf8(m_process.readAllStandardError());
            if (m_err.count(QLatin1Char('\n')) >= atLeastLines)
                break;
        }
        return m_err;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_err;
    int m_port = 0;
};

}  // namespace

TEST(ComposerProgram, HelpAndVersion)
{
    const Result help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--listen ADDR:PORT", "--db PATH", "--lexicon PATH", "--llm-url URL", "--llm-model NAME",
                               "--help", "--version", "keys issue", "keys list", "keys revoke ID", "keys invite"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    const Result version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("vesmer-composer 0."))) << version.out.toStdString();
    const Result bad = run({QStringLiteral("--frobnicate")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QLatin1String("unknown option --frobnicate")));
    EXPECT_EQ(run({QStringLiteral("--listen"), QStringLiteral("nowhere")}).exitCode, 2);
}

TEST(ComposerProgram, KeysCommandsManageARealDatabase)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("k/keys.sqlite"));
    const Result issued = run({QStringLiteral("keys"), QStringLiteral("issue"), QStringLiteral("--label"), QStringLiteral("alice"),
                            QStringLiteral("--db"), db});
    ASSERT_EQ(issued.exitCode, 0) << issued.err.toStdString();
    const QString key = issued.out.trimmed();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(key).hasMatch()) << key.toStdString();
    EXPECT_FALSE(issued.err.contains(key));
    const QString id = KeyStore::hashOf(key).left(12);

    Result list = run({QStringLiteral("keys"), QStringLiteral("list"), QStringLiteral("--db"), db});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(list.out.contains(id));
    EXPECT_TRUE(list.out.contains(QLatin1String("active")));
    EXPECT_TRUE(list.out.contains(QLatin1String("alice")));
    EXPECT_TRUE(list.out.contains(QLatin1String("never")));
    EXPECT_FALSE(list.out.contains(key));

    EXPECT_EQ(run({QStringLiteral("keys"), QStringLiteral("revoke"), id, QStringLiteral("--db"), db}).exitCode, 0);
    list = run({QStringLiteral("keys"), QStringLiteral("list"), QStringLiteral("--db"), db});
    EXPECT_TRUE(list.out.contains(QLatin1String("revoked")));
    const Result unknown = run({QStringLiteral("keys"), QStringLiteral("revoke"), QStringLiteral("000000000000"), QStringLiteral("--db"), db});
    EXPECT_EQ(unknown.exitCode, 1);

    const Result invite = run({QStringLiteral("keys"), QStringLiteral("invite"), QStringLiteral("--db"), db});
    EXPECT_EQ(invite.exitCode, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z2-9]{4}-[A-Z2-9]{4}-[A-Z2-9]{4}$")).match(invite.out.trimmed()).hasMatch())
        << invite.out.toStdString();
    EXPECT_EQ(run({QStringLiteral("keys"), QStringLiteral("frob"), QStringLiteral("--db"), db}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("keys"), QStringLiteral("revoke"), QStringLiteral("--db"), db}).exitCode, 2);

    // Without --db: $XDG_DATA_HOME/vesmer-composer/keys.sqlite.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    EXPECT_EQ(run({QStringLiteral("keys"), QStringLiteral("issue")}, env).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("data/vesmer-composer/keys.sqlite"))));
}

TEST(ComposerProgram, ServesLogsEachRequestAndStopsOnSigterm)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("keys.sqlite"));
    Serving serving({QStringLiteral("--db"), db});
    ASSERT_GT(serving.port(), 0) << serving.err().toStdString();
    Http http(serving.base());
    EXPECT_EQ(http.get(QStringLiteral("/healthz")).status, 200);

    // An administrator hands out a key while the server runs.
    const QString key = run({QStringLiteral("keys"), QStringLiteral("issue"), QStringLiteral("--db"), db}).out.trimmed();
    const QList<QPair<QByteArray, QByteArray>> withKey = {{"x-app-key", key.toUtf8()}};
    EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), withKey).status, 200);
    const Reply composed = http.post(QStringLiteral("/api/compose"),
                                     QJsonDocument(promptRequest(QStringLiteral("northern lights"))).toJson(), withKey);
    EXPECT_EQ(composed.status, 200);
    EXPECT_EQ(pageVerdicts({composed.json.value(QLatin1String("graph")).toObject()}).value(0).status, QStringLiteral("ok"));
    // Same prompt, same graph: in another process too.
    Composer here(shippedLexicon(), nullptr);
    EXPECT_EQ(composed.json.value(QLatin1String("graph")),
              here.compose(QJsonDocument(promptRequest(QStringLiteral("northern lights"))).toJson()).body.value(QLatin1String("graph")));
    EXPECT_EQ(http.post(QStringLiteral("/api/compose"), "{", withKey).status, 400);
    run({QStringLiteral("keys"), QStringLiteral("revoke"), KeyStore::hashOf(key).left(12), QStringLiteral("--db"), db});
    EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), withKey).status, 401);

    const QString err = serving.err(6);
    const QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression line(QStringLiteral("^(GET|POST) (/\\S*) (\\d{3}) \\d+\\.\\d ms (\\S.*)$"));
    QStringList requests;
    for (const QString& l : lines)
        if (line.match(l).hasMatch())
            requests << l;
    ASSERT_EQ(requests.size(), 5) << err.toStdString();
    EXPECT_TRUE(requests[0].startsWith(QLatin1String("GET /healthz 200 ")));
    EXPECT_TRUE(requests[2].startsWith(QLatin1String("POST /api/compose 200 ")) && requests[2].endsWith(QLatin1String(" builtin")))
        << requests[2].toStdString();
    EXPECT_TRUE(requests[3].startsWith(QLatin1String("POST /api/compose 400 ")));
    EXPECT_TRUE(requests[1].startsWith(QLatin1String("GET /api/desktop-key 200 ")));
    EXPECT_TRUE(requests[4].startsWith(QLatin1String("GET /api/desktop-key 401 ")));
    EXPECT_FALSE(err.contains(key));

    QElapsedTimer t;
    t.start();
    serving.process().terminate();
    ASSERT_TRUE(serving.process().waitForFinished(5000));
    EXPECT_EQ(serving.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(serving.process().exitCode(), 0);
    EXPECT_LT(t.elapsed(), 4000);  // idle keep-alive connections end within 2 s
}

TEST(ComposerProgram, ATakenPortOrAMissingLexiconIsOneClearLine)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    const Result taken = run({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(holder.serverPort()),
                           QStringLiteral("--db"), dir.filePath(QStringLiteral("k.sqlite"))});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(taken.err.contains(QLatin1String("cannot listen on"))) << taken.err.toStdString();
    const Result noLexicon = run({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--lexicon"),
                               dir.filePath(QStringLiteral("missing.json")), QStringLiteral("--db"),
                               dir.filePath(QStringLiteral("k.sqlite"))});
    EXPECT_EQ(noLexicon.exitCode, 1);
    EXPECT_TRUE(noLexicon.err.contains(QLatin1String("cannot read the lexicon"))) << noLexicon.err.toStdString();
}

TEST(ComposerProgram, AnLlmUrlThatDoesNotAnswerStillGivesScenes)
{
    const int dead = freeLoopbackPort();
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("keys.sqlite"));
    Serving serving({QStringLiteral("--db"), db, QStringLiteral("--llm-url"), QStringLiteral("http://127.0.0.1:%1").arg(dead),
                     QStringLiteral("--llm-model"), QStringLiteral("m"), QStringLiteral("--llm-timeout"), QStringLiteral("2")});
    ASSERT_GT(serving.port(), 0) << serving.err().toStdString();
    const QString key = run({QStringLiteral("keys"), QStringLiteral("issue"), QStringLiteral("--db"), db}).out.trimmed();
    Http http(serving.base());
    const Reply r = http.post(QStringLiteral("/api/compose"), QJsonDocument(promptRequest(QStringLiteral("sea"))).toJson(),
                              {{"x-app-key", key.toUtf8()}});
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(pageVerdicts({r.json.value(QLatin1String("graph")).toObject()}).value(0).status, QStringLiteral("ok"));
    EXPECT_TRUE(serving.err(2).contains(QLatin1String("POST /api/compose 200"))
                && serving.err().contains(QLatin1String("builtin (llm: connection refused)"))) << serving.err().toStdString();
}
