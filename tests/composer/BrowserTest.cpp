// The sign-in page in a real browser: Debian's Chromium, headless, driven over
// the DevTools protocol by tests/composer/signin-browser.js. It loads
// /app/?desktop-auth=1, clicks the button, and sees the navigation to
// vesmer://activate?key=…; the key it carries then passes /api/desktop-key.
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"

using namespace composer;
using namespace composer::test;

namespace {

const QString kChromium = QStringLiteral("/usr/bin/chromium");

}  // namespace

TEST(ComposerBrowser, HeadlessChromiumClicksConnectAndIsSentToTheApp)
{
    ASSERT_TRUE(QFileInfo(kChromium).isExecutable()) << "Debian's chromium package is needed (deps/debian-packages.txt)";
    LiveServer server;
    QTemporaryDir profile;
    QProcess node;
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(NODE_EXECUTABLE, {VESMER_SIGNIN_BROWSER_JS, kChromium, server.base() + "/app/?desktop-auth=1", profile.path()});
    // The server runs on threads of its own, so a blocking wait is fine here.
    if (!node.waitForFinished(60000))
        node.kill();
    const QJsonObject out = QJsonDocument::fromJson(node.readAllStandardOutput().trimmed()).object();
    ASSERT_FALSE(out.isEmpty()) << "the browser run did not finish with an answer";
    ASSERT_FALSE(out.contains(QLatin1String("error"))) << QJsonDocument(out).toJson().toStdString();
    EXPECT_EQ(out.value(QLatin1String("pageStatus")).toInt(), 200);
    EXPECT_EQ(out.value(QLatin1String("buttonText")).toString(), QStringLiteral("Connect this computer"));
    EXPECT_EQ(out.value(QLatin1String("scripts")).toInt(), 0);

    const QUrl target(out.value(QLatin1String("navigatedTo")).toString());
    EXPECT_EQ(target.scheme() + "://" + target.host(), "vesmer://activate");
    const QString key = QUrlQuery(target).queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
    ASSERT_EQ(key.size(), 43);

    Http http(server.base());
    EXPECT_EQ(http.get(QStringLiteral("/api/desktop-key"), {{"x-app-key", key.toUtf8()}}).status, 200);
    EXPECT_EQ(server.keys().list().size(), 1u);
    for (const QString& line : server.waitForLogLines(2))
        EXPECT_FALSE(line.contains(key));
}
