// The real server on a loopback port with a real SQLite file, driven over HTTP
// as the app's client would. (The log line format is the program's test.)
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"

using namespace composer;
using namespace composer::test;

namespace {

// Posts the sign-in form of `page` (with an invite code, if given).
Reply submit(Http& http, const Reply& page, const QString& invite = QString(), const Headers& headers = {})
{
    static const QRegularExpression re(QStringLiteral("name=\"nonce\" value=\"([^\"]+)\""));
    QByteArray form = "nonce=" + QUrl::toPercentEncoding(re.match(QString::fromUtf8(page.body)).captured(1));
    if (!invite.isNull())
        form += "&invite=" + QUrl::toPercentEncoding(invite);
    return http.post("/app/keys", form, headers, "application/x-www-form-urlencoded");
}

QString keyFromLocation(const QByteArray& location)
{
    const QUrl url(QString::fromUtf8(location));
    return url.scheme() == "vesmer" && url.host() == "activate" ? QUrlQuery(url).queryItemValue("key", QUrl::FullyDecoded) : QString();
}

// Every error answer is a JSON object with an "error" string.
void expectJsonError(const Reply& r, int status, const char* what)
{
    EXPECT_EQ(r.status, status) << what << ": " << r.body.left(200).toStdString();
    EXPECT_FALSE(r.json.value("error").toString().isEmpty()) << what << ": " << r.body.left(200).toStdString();
}

class ComposerServer : public ::testing::Test {
protected:
    LiveServer server;
    Http http{server.base()};
};

}  // namespace

TEST_F(ComposerServer, AMissingUnknownOrRevokedKeyIsToldToSignIn)
{
    // A revoked key is the program test's (revoked while it serves).
    for (const QString& key : {QString(), QStringLiteral("not-a-key"), QString(43, QLatin1Char('A'))}) {
        const Headers h = key.isEmpty() ? Headers{} : withKey(key);
        const Reply r = http.post("/api/compose", json(promptRequest("stars")), h);
        expectJsonError(r, 401, "compose");
        // The cover form shows this text as it is: it must say to sign in.
        EXPECT_TRUE(r.json.value("error").toString().startsWith("sign in"));
        expectJsonError(http.get("/api/desktop-key", h), 401, "desktop-key");
    }
}

TEST_F(ComposerServer, BadInputGetsACleanAnswerAndTheServerKeepsAnswering)
{
    const QString key = server.issueKey();
    auto compose = [&](const QByteArray& body) { return http.post("/api/compose", body, withKey(key)); };
    // A request with one more member, its text raw.
    auto withMember = [](const QByteArray& member) { return json(promptRequest("x")).chopped(1) + "," + member + "}"; };
    QJsonObject wrongType = promptRequest("");
    wrongType.insert("prompt", 42);
    const QByteArray big = withMember("\"pad\":\"" + QByteArray(16 * 1024 * 1024 - json(promptRequest("x")).size() - 8, 'a') + "\"");
    ASSERT_EQ(big.size(), 16 * 1024 * 1024 + 1);
    // 100,000 levels of nesting, alone and inside a request.
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    const QByteArray deepObject = QByteArray("{\"a\":").repeated(100000) + "1" + QByteArray(100000, '}');
    const std::pair<QByteArray, int> refused[] = {
        {"{\"prompt\": ", 400}, {"[1, 2, 3]", 400}, {"", 400}, {json(wrongType), 400}, {json({{"prompt", "x"}}), 400},
        {big, 413}, {deep, 400}, {deepObject, 400}, {withMember("\"lastGraph\":" + deep), 400}};
    for (const auto& [body, status] : refused)
        expectJsonError(compose(body), status, body.left(40).constData());

    // Invalid UTF-8 inside a string: a clean 4xx or a graph.
    const Reply utf = compose(json(promptRequest("PLACEHOLDER")).replace("PLACEHOLDER", "ocean \xff\xfe \xc3\x28 waves"));
    if (utf.status == 400)
        expectJsonError(utf, 400, "invalid UTF-8");
    else
        EXPECT_TRUE(utf.status == 200 && utf.json.value("graph").isObject()) << utf.status << utf.body.left(200).toStdString();

    // Still answering, on the same and on new connections.
    EXPECT_EQ(compose(json(promptRequest("after all that"))).status, 200);
    EXPECT_EQ(Http(server.base()).get("/healthz").status, 200);
}

TEST_F(ComposerServer, OtherMethodsAndPathsAreRefusedInJson)
{
    const Reply health = http.get("/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.json, (QJsonObject{{"ok", true}, {"service", "vesmer-composer"}, {"version", "test"}}));
    const Headers key = withKey(server.issueKey());
    const struct { QByteArray method; const char* path; QByteArray body; int status; } cases[] = {
        {"DELETE", "/healthz", {}, 405}, {"GET", "/api/compose", {}, 405}, {"PUT", "/api/compose", "{}", 405},
        {"POST", "/api/desktop-key", "{}", 405}, {"PATCH", "/app/keys", "x", 405}, {"GET", "/nowhere", {}, 404}};
    for (const auto& c : cases)
        expectJsonError(http.send(c.method, c.path, c.body, key), c.status, (c.method + " " + c.path).constData());
    EXPECT_EQ(http.get("/api/compose").header("allow"), QByteArray("POST"));
}

TEST_F(ComposerServer, MoreThanThirtyComposeRequestsAMinuteFromOneKeyAreRefused)
{
    const QString busy = server.issueKey(), other = server.issueKey();
    for (int i = 0; i < 30; ++i) {
        // Thirty prompts of one user in a minute, one of them refreshed.
        const Reply r = http.compose(promptRequest(QStringLiteral("pulse %1").arg(i), i == 7), busy);
        ASSERT_EQ(r.status, 200) << i;
    }
    const Reply refused = http.compose(promptRequest("pulse"), busy);
    expectJsonError(refused, 429, "31st request");
    EXPECT_GT(refused.header("retry-after").toInt(), 0);
    EXPECT_EQ(http.compose(promptRequest("pulse"), other).status, 200);
}

TEST_F(ComposerServer, KeysAreNeverStoredAndTheirUseIsNoted)
{
    const QString key = server.issueKey();
    const Reply used = http.get("/api/desktop-key", withKey(key));
    EXPECT_EQ(used.status, 200);
    const auto rows = server.keys().list();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_GT(rows[0].createdAt, 1700000000);
    EXPECT_TRUE(rows[0].lastUsedAt);
    // Not in the database nor in its write-ahead log: only the key's hash is kept.
    for (const QFileInfo& f : QDir(server.dir()).entryInfoList(QDir::Files)) {
        QFile file(f.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(key.toUtf8())) << f.fileName().toStdString();
    }
}

TEST_F(ComposerServer, OnLoopbackTheButtonAloneMintsAKey)
{
    const Reply page = http.get("/app/?desktop-auth=1");
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.body);
    for (const char* part : {"Connect this computer", "action=\"/app/keys\"", "What happens next"})
        EXPECT_TRUE(html.contains(part)) << part;
    // Self-contained: no invite field, no scripts, nothing loaded from elsewhere.
    for (const char* part : {"name=\"invite\"", "<script", "src=", "<link", "url("})
        EXPECT_FALSE(html.contains(part, Qt::CaseInsensitive)) << part;
    EXPECT_TRUE(page.header("content-security-policy").contains("default-src 'none'"));

    const Reply minted = submit(http, page);
    ASSERT_EQ(minted.status, 303) << minted.body.toStdString();
    const QString key = keyFromLocation(minted.header("location"));
    ASSERT_EQ(key.size(), 43);
    EXPECT_EQ(http.get("/api/desktop-key", withKey(key)).status, 200);
    EXPECT_FALSE(minted.body.contains(key.toUtf8()));
    for (const QString& line : server.waitForLogLines(2))
        EXPECT_FALSE(line.contains(key));

    // The form works once per page, and not from another site's page.
    const Reply again = submit(http, page);
    EXPECT_EQ(again.status, 403);
    EXPECT_EQ(submit(http, http.get("/app/?desktop-auth=1"), QString(), {{"Origin", "https://evil.example"}}).status, 403);
    EXPECT_EQ(server.keys().list().size(), 1u);
}

// Debian's Chromium, headless, driven by signin-browser.js: a real browser posts
// the form (with "Origin: null") and follows the answer to the app's scheme.
TEST_F(ComposerServer, HeadlessChromiumClicksConnectAndIsSentToTheApp)
{
    const QString chromium = QStringLiteral("/usr/bin/chromium");
    ASSERT_TRUE(QFileInfo(chromium).isExecutable()) << "Debian's chromium package is needed (deps/debian-packages.txt)";
    QTemporaryDir profile;
    QProcess node;
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(NODE_EXECUTABLE, {VESMER_SIGNIN_BROWSER_JS, chromium, server.base() + "/app/?desktop-auth=1", profile.path()});
    // The server runs on threads of its own, so a blocking wait is fine here.
    if (!node.waitForFinished(60000))
        node.kill();
    const QByteArray out = node.readAllStandardOutput();
    const QString key = keyFromLocation(QJsonDocument::fromJson(out).object().value("navigatedTo").toString().toUtf8());
    ASSERT_FALSE(key.isEmpty()) << out.toStdString();
    EXPECT_EQ(server.keys().list().size(), 1u);
}

TEST_F(ComposerServer, OffLoopbackAKeyNeedsAnInviteCode)
{
    // Through a reverse proxy on this machine: the peer is loopback, but the
    // forwarded address is not.
    const Headers remote = {{"X-Forwarded-For", "203.0.113.7"}};
    auto tryCode = [&](const QString& code, const Headers& h) {
        const Reply page = http.get("/app/?desktop-auth=1", h);
        EXPECT_TRUE(page.body.contains("name=\"invite\""));
        return submit(http, page, code, h);
    };
    EXPECT_EQ(tryCode("", remote).status, 403);
    EXPECT_EQ(tryCode("ABCD-EFGH-JKMN", remote).status, 403);
    EXPECT_EQ(tryCode(*server.keys().createInvite(-1), remote).status, 403);  // expired
    EXPECT_TRUE(server.keys().list().empty());

    const QString code = *server.keys().createInvite();
    const Reply ok = tryCode(code.toLower().remove(QLatin1Char('-')), remote);  // typed loosely
    ASSERT_EQ(ok.status, 303);
    EXPECT_EQ(http.get("/api/desktop-key", withKey(keyFromLocation(ok.header("location")))).status, 200);
    EXPECT_EQ(tryCode(code, remote).status, 403);  // once only
    EXPECT_EQ(server.keys().list().size(), 1u);

    // At most 10 tries a minute from one address (5 made above); others unaffected.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tryCode("WRONG", remote).status, 403) << i;
    const Reply limited = tryCode(*server.keys().createInvite(), remote);
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(tryCode(*server.keys().createInvite(), {{"X-Forwarded-For", "198.51.100.9"}}).status, 303);
    // The page as served through the proxy posts with the proxy's origin.
    const Headers proxied = {{"X-Forwarded-For", "192.0.2.1"}, {"X-Forwarded-Host", "scenes.example.org"},
                             {"Origin", "https://scenes.example.org"}};
    EXPECT_EQ(tryCode(*server.keys().createInvite(), proxied).status, 303);
    // Any forwarding header counts as remote.
    EXPECT_TRUE(http.get("/app/?desktop-auth=1", {{"Forwarded", "for=192.0.2.60"}}).body.contains("name=\"invite\""));
}

TEST(ComposerServerOptions, InvitesOnlyAsksOnLoopbackToo)
{
    ServerOptions options;
    options.invitesOnly = true;
    LiveServer server(options);
    Http http(server.base());
    const Reply page = http.get("/app/?desktop-auth=1");
    EXPECT_TRUE(page.body.contains("name=\"invite\""));
    EXPECT_EQ(submit(http, page).status, 403);
    EXPECT_TRUE(server.keys().list().empty());
}

TEST(ComposerServerAddress, LoopbackAddressesAreRecognised)
{
    for (const char* a : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(isLoopbackAddress(a)) << a;
    for (const char* a : {"10.0.0.1", "192.168.1.2", "::ffff:10.0.0.1", "2001:db8::1", "", "nonsense"})
        EXPECT_FALSE(isLoopbackAddress(a)) << a;
}
