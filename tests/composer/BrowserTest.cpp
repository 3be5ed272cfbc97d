// The sign-in page in a real browser: Debian's Chromium, headless, driven by
// signin-browser.js, clicks the button and is sent to vesmer://activate?key=…;
// the key then passes /api/desktop-key. (The page's text and the form's rules
// over plain HTTP are the server test's.)
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include "ComposerTestTools.h"

using namespace composer::test;

TEST(ComposerBrowser, HeadlessChromiumClicksConnectAndIsSentToTheApp)
{
    const QString chromium = QStringLiteral("/usr/bin/chromium");
    ASSERT_TRUE(QFileInfo(chromium).isExecutable()) << "Debian's chromium package is needed (deps/debian-packages.txt)";
    LiveServer server;
    QTemporaryDir profile;
    QProcess node;
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(NODE_EXECUTABLE, {VESMER_SIGNIN_BROWSER_JS, chromium, server.base() + "/app/?desktop-auth=1", profile.path()});
    // The server runs on threads of its own, so a blocking wait is fine here.
    if (!node.waitForFinished(60000))
        node.kill();
    const QByteArray out = node.readAllStandardOutput();
    const QUrl target(QJsonDocument::fromJson(out).object().value(QLatin1String("navigatedTo")).toString());
    ASSERT_EQ(target.scheme() + "://" + target.host(), "vesmer://activate") << out.toStdString();
    const QString key = QUrlQuery(target).queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
    EXPECT_EQ(Http(server.base()).get(QStringLiteral("/api/desktop-key"), withKey(key)).status, 200);
    EXPECT_EQ(server.keys().list().size(), 1u);
}
