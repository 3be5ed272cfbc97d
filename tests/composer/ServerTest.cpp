// The real server on a loopback port with a real SQLite file, driven over HTTP
// by QNetworkAccessManager as the app's client would.
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"

using namespace composer;
using namespace composer::test;

namespace {

QByteArray json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QList<QPair<QByteArray, QByteArray>> withKey(const QString& key)
{
    return {{"x-app-key", key.toUtf8()}};
}

QString nonceOf(const QByteArray& html)
{
    static const QRegularExpression re(QStringLiteral("name=\"nonce\" value=\"([^\"]+)\""));
    return re.match(QString::fromUtf8(html)).captured(1);
}

QByteArray form(std::initializer_list<std::pair<const char*, QString>> fields)
{
    QByteArrayList parts;
    for (const auto& [k, v] : fields)
        parts << QByteArray(k) + '=' + QUrl::toPercentEncoding(v);
    return parts.join('&');
}

QString keyFromLocation(const QByteArray& location)
{
    const QUrl url(QString::fromUtf8(location));
    if (url.scheme() != QLatin1String("vesmer") || url.host() != QLatin1String("activate"))
        return {};
    return QUrlQuery(url).queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
}

// Every error answer is a JSON object with an "error" string.
void expectJsonError(const Reply& r, int status, const char* what)
{
    EXPECT_EQ(r.status, status) << what << ": " << r.body.left(200).toStdString();
    EXPECT_TRUE(r.json.value(QLatin1String("error")).isString()) << what << ": " << r.body.left(200).toStdString();
    EXPECT_FALSE(r.json.value(QLatin1String("error")).toString().isEmpty()) << what;
}

class ComposerServer : public ::testing::Test {
protected:
    LiveServer server;
    Http http{server.base()};
};

}  // namespace

TEST_F(ComposerServer, HealthzAnswersAsTheComposer)
{
    const Reply r = http.get(QStringLiteral("/healthz"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.json.value(QLatin1String("ok")).toBool(), true);
    EXPECT_EQ(r.json.value(QLatin1String("service")).toString(), QStringLiteral("vesmer-composer"));
    expectJsonError(http.send("DELETE", QStringLiteral("/healthz")), 405, "DELETE /healthz");
}

TEST_F(ComposerServer, ComposeAnswersBothFormsForAnIssuedKey)
{
    const QString key = server.issueKey();
    const Reply r = http.post(QStringLiteral("/api/compose"), json(promptRequest(QStringLiteral("ocean waves"))), withKey(key));
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    const QJsonObject graph = r.json.value(QLatin1String("graph")).toObject();
    EXPECT_FALSE(graph.value(QLatin1String("layers")).toArray().isEmpty());
    EXPECT_TRUE(r.header("content-type").startsWith("application/json"));

    QImage cover(64, 64, QImage::Format_RGB32);
    cover.fill(QColor(200, 40, 90));
    const QStringList palette = {QStringLiteral("#c8285a"), QStringLiteral("#ffd0e0")};
    const Reply c = http.post(QStringLiteral("/api/compose"),
                              json(coverRequest(QStringLiteral("the mood and world of this album cover \u2014 \"A\" by B"),
                                                jpegDataUrl(cover), palette)),
                              withKey(key));
    ASSERT_EQ(c.status, 200) << c.body.toStdString();
    const QJsonObject coverGraph = c.json.value(QLatin1String("graph")).toObject();
    EXPECT_EQ(coverGraph.value(QLatin1String("palette")).toArray(), QJsonArray::fromStringList(palette));
    for (const Verdict& v : pageVerdicts({graph, clientCoverAdjust(coverGraph, palette)}))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();

    // One log line per request: method, path, status, milliseconds, engine; never the key.
    const QStringList lines = server.waitForLogLines(2);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    static const QRegularExpression shape(QStringLiteral("^POST /api/compose 200 \\d+\\.\\d ms builtin$"));
    for (const QString& line : lines) {
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
        EXPECT_FALSE(line.contains(key));
    }
}

TEST_F(ComposerServer, AMissingOrUnknownKeyIsToldToSignIn)
{
    const QByteArray body = json(promptRequest(QStringLiteral("stars")));
    for (const QString& key : {QString(), QStringLiteral("not-a-key"), QString(43, QLatin1Char('A'))}) {
        const Reply r = key.isEmpty() ? http.post(QStringLiteral("/api/compose"), body)
                                      : http.post(QStringLiteral("/api/compose"), body, withKey(key));
        expectJsonError(r, 401, "unknown key");
        // The cover form shows this text as it is: it must say to sign in.
        EXPECT_TRUE(r.json.value(QLatin1String("error")).toString().startsWith(QLatin1String("sign in")));
    }
    const QString revoked = server.issueKey();
    const QString id = KeyStore::hashOf(revoked).left(12);
    ASSERT_TRUE(server.keys().revoke(id));
    expectJsonError(http.post(QStringLiteral("/api/compose"), body, withKey(revoked)), 401, "revoked key");
}

TEST_F(ComposerServer, BadInputGetsACleanAnswerAndTheServerKeepsAnswering)
{
    const QString key = server.issueKey();
    auto compose = [&](const QByteArray& body) { return http.post(QStringLiteral("/api/compose"), body, withKey(key)); };

    expectJsonError(compose("{\"prompt\": "), 400, "malformed JSON");
    expectJsonError(compose("[1, 2, 3]"), 400, "an array");
    expectJsonError(compose(""), 400, "empty body");
    QJsonObject wrongType = promptRequest(QString());
    wrongType.insert(QStringLiteral("prompt"), 42);
    expectJsonError(compose(json(wrongType)), 400, "prompt is a number");
    expectJsonError(compose(json({{QStringLiteral("prompt"), QStringLiteral("x")}})), 400, "no schema");

    // 16 MB + 1 byte.
    QByteArray big = json(promptRequest(QStringLiteral("x")));
    big.chop(1);
    big += ",\"pad\":\"";
    big += QByteArray(16 * 1024 * 1024 + 1 - big.size() - 2, 'a');
    big += "\"}";
    ASSERT_EQ(big.size(), 16 * 1024 * 1024 + 1);
    expectJsonError(compose(big), 413, "16 MB + 1");

    // 100,000 levels of nesting.
    QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    expectJsonError(compose(deep), 400, "deep arrays");
    QByteArray deepObject;
    for (int i = 0; i < 100000; ++i)
        deepObject += "{\"a\":";
    deepObject += "1" + QByteArray(100000, '}');
    expectJsonError(compose(deepObject), 400, "deep objects");
    QJsonObject nestedInside = promptRequest(QStringLiteral("x"));
    QByteArray withDeepMember = json(nestedInside);
    withDeepMember.chop(1);
    withDeepMember += ",\"lastGraph\":" + deep + "}";
    expectJsonError(compose(withDeepMember), 400, "deep member");

    // Invalid UTF-8 inside a string: a clean 4xx or a graph.
    QByteArray badUtf8 = json(promptRequest(QStringLiteral("PLACEHOLDER")));
    badUtf8.replace("PLACEHOLDER", "ocean \xff\xfe \xc3\x28 waves");
    const Reply utf = compose(badUtf8);
    EXPECT_TRUE(utf.status == 400 || (utf.status == 200 && utf.json.value(QLatin1String("graph")).isObject()))
        << utf.status << utf.body.left(200).toStdString();
    if (utf.status == 400)
        expectJsonError(utf, 400, "invalid UTF-8");

    // A data URL that is not an image, and a palette of 1,000 entries: graphs.
    QJsonObject notImage = coverRequest(QStringLiteral("steer"), QStringLiteral("data:image/png;base64,SGVsbG8gd29ybGQ="),
                                        {QStringLiteral("#ff0000")});
    const Reply ni = compose(json(notImage));
    EXPECT_EQ(ni.status, 200);
    QStringList huge;
    for (int i = 0; i < 1000; ++i)
        huge << QStringLiteral("#%1").arg(i * 16001 % 0xffffff, 6, 16, QLatin1Char('0'));
    const Reply hp = compose(json(coverRequest(QStringLiteral("steer"), QStringLiteral("data:,"), huge)));
    EXPECT_EQ(hp.status, 200);
    QJsonObject weirdPalette = coverRequest(QStringLiteral("steer"), QString(), {});
    weirdPalette.insert(QStringLiteral("palette"), QJsonArray{1, QJsonValue::Null, QJsonObject{}, QStringLiteral("#zzz")});
    weirdPalette.insert(QStringLiteral("image"), 17);
    EXPECT_EQ(compose(json(weirdPalette)).status, 200);
    for (const Verdict& v : pageVerdicts({ni.json.value(QLatin1String("graph")).toObject(),
                                          hp.json.value(QLatin1String("graph")).toObject()}))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();

    // Still answering, on the same and on new connections.
    EXPECT_EQ(compose(json(promptRequest(QStringLiteral("after all that")))).status, 200);
    EXPECT_EQ(Http(server.base()).get(QStringLiteral("/healthz")).status, 200);
}

TEST_F(ComposerServer, OtherMethodsAndPathsAreRefusedInJson)
{
    const QString key = server.issueKey();
    expectJsonError(http.get(QStringLiteral("/api/compose"), withKey(key)), 405, "GET compose");
    expectJsonError(http.send("PUT", QStringLiteral("/api/compose"), "{}", withKey(key)), 405, "PUT compose");
    expectJsonError(http.send("DELETE", QStringLiteral("/api/compose"), {}, withKey(key)), 405, "DELETE compose");
    expectJsonError(http.send("POST", QStringLiteral("/api/desktop-key"), "{}", withKey(key)), 405, "POST desktop-key");
    expectJsonError(http.send("PATCH", QStringLiteral("/app/keys"), "x"), 405, "PATCH keys");
    expectJsonError(http.get(QStringLiteral("/nowhere")), 404, "unknown path");
    EXPECT_EQ(http.get(QStringLiteral("/api/compose")).header("allow"), QByteArray("POST"));
}

TEST_F(ComposerServer, MoreThanThirtyComposeRequestsAMinuteFromOneKeyAreRefused)
{
    const QString busy = server.issueKey(), other = server.issueKey();
    const QByteArray body = json(promptRequest(QStringLiteral("pulse")));
    QList<QJsonObject> graphs;
    for (int i = 0; i < 30; ++i) {
        // Thirty prompts of one user in a minute, one of them refreshed.
        const Reply r = http.post(QStringLiteral("/api/compose"),
                                  json(promptRequest(QStringLiteral("pulse %1").arg(i), i == 7)), withKey(busy));
        ASSERT_EQ(r.status, 200) << i;
        graphs << r.json.value(QLatin1String("graph")).toObject();
    }
    for (const Verdict& v : pageVerdicts(graphs))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();
    const Reply refused = http.post(QStringLiteral("/api/compose"), body, withKey(busy));
    expectJsonError(refused, 429, "31st request");
    EXPECT_GT(refused.header("retry-after").toInt(), 0);
    EXPECT_EQ(http.post(QStringLiteral("/api/compose"), body, withKey(other)).status, 200);
}

TEST_F(ComposerServer, DesktopKeyAcceptsOnlyIssuedUnrevokedKeys)
{
    const QString key = server.issueKey();
    const Reply ok = http.get(QStringLiteral("/api/desktop-key"), withKey(key));
    EXPECT_EQ(ok.status, 200);
    EXPECT_TRUE(QJsonDocument::fromJson(ok.body).isObject());
    expectJsonError(http.get(QStringLiteral("/api/desktop-key")), 401, "no key");
    expectJsonError(http.get(QStringLiteral("/api/desktop-key"), withKey(QStringLiteral("guess"))), 401, "unknown");
    ASSERT_TRUE(server.keys().revoke(KeyStore::hashOf(key).left(12)));
    expectJsonError(http.get(QStringLiteral("/api/desktop-key"), withKey(key)), 401, "revoked");
}

TEST_F(ComposerServer, KeysAreStoredAsHashesWithTheirTimes)
{
    const QString key = server.issueKey();
    EXPECT_EQ(key.size(), 43);  // 256 bits, URL-safe Base64 without padding
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(key).hasMatch());
    ASSERT_EQ(http.get(QStringLiteral("/api/desktop-key"), withKey(key)).status, 200);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(server.dir() + QStringLiteral("/keys.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT key_hash, created_at, last_used_at, revoked FROM app_keys")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), KeyStore::hashOf(key));
        EXPECT_GT(q.value(1).toLongLong(), 1700000000);
        EXPECT_FALSE(q.value(2).isNull());
        EXPECT_EQ(q.value(3).toInt(), 0);
        EXPECT_FALSE(q.next());
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    QFile file(server.dir() + QStringLiteral("/keys.sqlite"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains(key.toUtf8()));
}

TEST_F(ComposerServer, OnLoopbackTheButtonAloneMintsAKey)
{
    const Reply page = http.get(QStringLiteral("/app/?desktop-auth=1"));
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.header("content-type").startsWith("text/html"));
    const QString html = QString::fromUtf8(page.body);
    EXPECT_TRUE(html.contains(QLatin1String("Connect this computer")));
    EXPECT_TRUE(html.contains(QLatin1String("action=\"/app/keys\"")));
    EXPECT_TRUE(html.contains(QLatin1String("What happens next")));
    EXPECT_FALSE(html.contains(QLatin1String("name=\"invite\"")));
    // Self-contained: no scripts, nothing loaded from elsewhere.
    EXPECT_FALSE(html.contains(QLatin1String("<script"), Qt::CaseInsensitive));
    EXPECT_FALSE(html.contains(QLatin1String("src="), Qt::CaseInsensitive));
    EXPECT_FALSE(html.contains(QLatin1String("<link"), Qt::CaseInsensitive));
    EXPECT_FALSE(html.contains(QLatin1String("url("), Qt::CaseInsensitive));
    EXPECT_TRUE(page.header("content-security-policy").contains("default-src 'none'"));

    const Reply minted = http.post(QStringLiteral("/app/keys"), form({{"nonce", nonceOf(page.body)}}), {},
                                   "application/x-www-form-urlencoded");
    ASSERT_EQ(minted.status, 303) << minted.body.toStdString();
    const QString key = keyFromLocation(minted.header("location"));
    ASSERT_EQ(key.size(), 43);
    EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), withKey(key)).status, 200);
    EXPECT_FALSE(minted.body.contains(key.toUtf8()));
    for (const QString& line : server.waitForLogLines(2))
        EXPECT_FALSE(line.contains(key));

    // The form works once per page, and not from another site's page.
    const Reply again = http.post(QStringLiteral("/app/keys"), form({{"nonce", nonceOf(page.body)}}), {},
                                  "application/x-www-form-urlencoded");
    EXPECT_EQ(again.status, 403);
    EXPECT_TRUE(keyFromLocation(again.header("location")).isEmpty());
    const Reply page2 = http.get(QStringLiteral("/app/?desktop-auth=1"));
    const Reply foreign = http.post(QStringLiteral("/app/keys"), form({{"nonce", nonceOf(page2.body)}}),
                                    {{"Origin", "https://evil.example"}}, "application/x-www-form-urlencoded");
    EXPECT_EQ(foreign.status, 403);
    EXPECT_EQ(server.keys().list().size(), 1u);
}

TEST_F(ComposerServer, OffLoopbackAKeyNeedsAnInviteCode)
{
    // Through a reverse proxy on this machine: the peer is loopback, but the
    // forwarded address is not.
    const QList<QPair<QByteArray, QByteArray>> remote = {{"X-Forwarded-For", "203.0.113.7"}};
    auto pageFor = [&](const QList<QPair<QByteArray, QByteArray>>& h) { return http.get(QStringLiteral("/app/?desktop-auth=1"), h); };
    auto tryCode = [&](const QString& code, const QList<QPair<QByteArray, QByteArray>>& h) {
        const Reply page = pageFor(h);
        EXPECT_TRUE(page.body.contains("name=\"invite\""));
        return http.post(QStringLiteral("/app/keys"), form({{"nonce", nonceOf(page.body)}, {"invite", code}}), h,
                         "application/x-www-form-urlencoded");
    };
    EXPECT_EQ(tryCode(QString(), remote).status, 403);
    EXPECT_EQ(tryCode(QStringLiteral("ABCD-EFGH-JKMN"), remote).status, 403);
    const QString expired = *server.keys().createInvite(-1);
    EXPECT_EQ(tryCode(expired, remote).status, 403);
    EXPECT_TRUE(server.keys().list().empty());

    const QString code = *server.keys().createInvite();
    const Reply ok = tryCode(code.toLower().remove(QLatin1Char('-')), remote);  // typed loosely
    ASSERT_EQ(ok.status, 303);
    const QString key = keyFromLocation(ok.header("location"));
    EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), withKey(key)).status, 200);
    // Once only.
    EXPECT_EQ(tryCode(code, remote).status, 403);
    EXPECT_EQ(server.keys().list().size(), 1u);

    // At most 10 tries a minute from one address (5 made above); others unaffected.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tryCode(QStringLiteral("WRONG"), remote).status, 403) << i;
    const Reply limited = tryCode(*server.keys().createInvite(), remote);
    EXPECT_EQ(limited.status, 429);
    EXPECT_TRUE(keyFromLocation(limited.header("location")).isEmpty());
    const QList<QPair<QByteArray, QByteArray>> elsewhere = {{"X-Forwarded-For", "198.51.100.9"}};
    EXPECT_EQ(tryCode(*server.keys().createInvite(), elsewhere).status, 303);
    // The page as served through the proxy posts with the proxy's origin.
    const QList<QPair<QByteArray, QByteArray>> proxied = {{"X-Forwarded-For", "192.0.2.1"},
                                                          {"X-Forwarded-Host", "scenes.example.org"},
                                                          {"Origin", "https://scenes.example.org"}};
    EXPECT_EQ(tryCode(*server.keys().createInvite(), proxied).status, 303);
    // Any forwarding header counts as remote.
    EXPECT_TRUE(pageFor({{"Forwarded", "for=192.0.2.60"}}).body.contains("name=\"invite\""));
}

TEST(ComposerServerOptions, InvitesOnlyAsksOnLoopbackToo)
{
    ServerOptions options;
    options.invitesOnly = true;
    LiveServer server(options);
    Http http(server.base());
    const Reply page = http.get(QStringLiteral("/app/?desktop-auth=1"));
    EXPECT_TRUE(page.body.contains("name=\"invite\""));
    const Reply refused = http.post(QStringLiteral("/app/keys"), form({{"nonce", nonceOf(page.body)}}), {},
                                    "application/x-www-form-urlencoded");
    EXPECT_EQ(refused.status, 403);
    EXPECT_TRUE(server.keys().list().empty());
}

TEST(ComposerServerAddress, LoopbackAddressesAreRecognised)
{
    for (const char* a : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(isLoopbackAddress(QString::fromLatin1(a))) << a;
    for (const char* a : {"10.0.0.1", "192.168.1.2", "::ffff:10.0.0.1", "2001:db8::1", "", "nonsense"})
        EXPECT_FALSE(isLoopbackAddress(QString::fromLatin1(a))) << a;
}
