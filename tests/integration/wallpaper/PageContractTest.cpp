// The WebPage seam on the real engine: what evaluate and call-with-arguments hand
// back, that every page call reaches the page with its arguments as values, and
// that every reply comes exactly once, also across reloads and close.
#include <QJsonDocument>
#include <QWebEnginePage>
#include <algorithm>
#include <gtest/gtest.h>

#include "TestPageRecorder.h"
#include "WebEngineHarness.h"
#include "wallpaper/PageCalls.h"
#include "platform/qt/QtWebPage.h"

using namespace WebEngineHarness;

namespace {

// A reply as one text: "=" before its value, "!" before its error, "no reply" when none came.
QString replyText(const std::optional<ScriptReply>& reply)
{
    if (!reply)
        return QStringLiteral("no reply");
    return (reply->value ? "=" + *reply->value : QString()) + (reply->error ? "!" + *reply->error : QString());
}

}  // namespace

TEST(PageContract, RepliesAreStringsThrownMessagesOrPromiseResultsAndPageCallsArriveWithTheirArgumentsAsValues)
{
    auto page = openPage(TestPageRecorder::pagePath());
    QStringList console;
    QObject::connect(page.get(), &QtWebPage::consoleMessage,
                     [&console](int level, const QString& message) { console << QString::number(level) + ": " + message; });
    ASSERT_TRUE(waitReady(*page));
    const std::pair<const char*, const char*> evaluations[] = {
        {"var x = 1; 'second'", "=second"},
        {"42", ""},
        {"({v: 'not me'})", ""},
        {"throw new Error('bad')", "!bad"},
        {"throw 'plain'", "!plain"},
        {"(", "!Unexpected end of input"},
        {"window.vesmerNope && vesmerNope(1)", ""},
    };
    for (const auto& [expression, expected] : evaluations)
        EXPECT_EQ(replyText(evaluate(*page, expression)), expected) << expression;
    // Globals declared by an evaluation are the page's own.
    evaluate(*page, "var vesmerDeclared = 'kept'");
    EXPECT_EQ(replyText(evaluate(*page, "window.vesmerDeclared")), "=kept");

    // Calls get their arguments as values and hand back what the body returns.
    const QString hostile = QStringLiteral("single ' double \" backslash \\ </script> ") + QChar(0x2028) +
                            QStringLiteral(" line\nbreak\r\n\ttab \u00e9\U0001F3B6 end");
    EXPECT_EQ(replyText(call(*page, "return a", {{"a", hostile}})), "=" + hostile);
    EXPECT_EQ(replyText(call(*page, "return typeof n + n", {{"n", 0.1}})), "=number0.1");
    EXPECT_EQ(replyText(call(*page, "return await new Promise(r => setTimeout(() => r('late'), 30))", {})), "=late");
    EXPECT_EQ(replyText(call(*page, "return 7", {})), "");
    EXPECT_EQ(replyText(call(*page, "throw new Error('nope')", {})), "!nope");
    EXPECT_EQ(replyText(call(*page, "return await Promise.reject(new Error('rejected'))", {})), "!rejected");
    EXPECT_TRUE(call(*page, "this is not a body", {})->error.has_value());

    // Every page call reaches the page with its arguments as values.
    const QString graph = QStringLiteral(R"({"title":")") + hostile + QStringLiteral(R"("})");
    const QString image = QStringLiteral("data:image/jpeg;base64,AAAA");
    for (const QString& expression :
         {PageCalls::setBPM(128.4), PageCalls::setPaused(true), PageCalls::setPaused(false), PageCalls::lyricMode("Overlay"),
          PageCalls::setFx(R"({"bloom":0.5})"), PageCalls::setLook(1.0, 2.5, 1.0, 1.0), PageCalls::setQuality(1.5, 30),
          PageCalls::stepTheme(-1), PageCalls::applyGraph(graph)})
        page->evaluate(expression);
    page->callWithArguments(PageCalls::feedBody(),
                            PageCalls::feedArguments(AudioFeatures{0.5f, 0.25f, 0.125f, 1.0f, 0.0f, 0.75f, 2.0f, 0.0625f}));
    page->callWithArguments(PageCalls::lyricBody(), {{"line", hostile}});
    page->callWithArguments(PageCalls::paletteBody(), {{"u", image}});
    const QList<TestPageRecorder::Call> expected = {
        {"vesmerSetBPM", {128.4}}, {"vesmerSetPaused", {true}}, {"vesmerSetPaused", {false}},
        {"vesmerLyricMode", {"overlay"}}, {"vesmerSetFx", {R"({"bloom":0.5})"}}, {"vesmerSetLook", {1.0, 2.5, 1.0, 1.0}},
        {"vesmerSetQuality", {1.5, 30}}, {"vesmerStep", {-1}}, {"vesmerCurrentTheme", {}}, {"vesmerApplyGraph", {graph}},
        {"vesmerFeed", {0.5, 0.25, 0.125, 1.0, 0.0, 0.75, 2.0, 0.0625}}, {"vesmerLyric", {hostile}},
        {"vesmerPaletteFromImage", {image}}};
    TestPageRecorder recorder(*page);
    ASSERT_TRUE(waitFor([&] { return recorder.collect() && recorder.all.size() >= expected.size(); }));
    EXPECT_EQ(recorder.all.size(), expected.size());
    for (const auto& want : expected) {
        EXPECT_TRUE(std::any_of(recorder.all.begin(), recorder.all.end(),
                                [&](const auto& got) { return got.fn == want.fn && got.args == want.args; }))
            << want.fn.toStdString() << " " << QJsonDocument(want.args).toJson(QJsonDocument::Compact).toStdString();
    }

    // Calls without a reply that fail stay silent in the page too.
    page->callWithArguments("throw new Error('quiet')", {});
    page->callWithArguments("return missingThing()", {});
    evaluate(*page, "1");
    settle(200);
    EXPECT_TRUE(console.isEmpty()) << console.join('\n').toStdString();
}

TEST(PageContract, EveryReplyComesOnceAcrossReloadAndClose)
{
    auto page = openPage(TestPageRecorder::pagePath());
    ASSERT_TRUE(waitReady(*page));
    evaluate(*page, "__answers.vesmerPaletteFromImage = {hang: true}");

    QList<ScriptReply> replies;
    const auto count = [&replies](const ScriptReply& reply) { replies << reply; };
    page->callWithArguments(PageCalls::paletteBody(), {{"u", "data:"}}, count);
    settle(200);
    EXPECT_TRUE(replies.isEmpty()) << "the promise never settles";
    page->enginePage()->triggerAction(QWebEnginePage::Reload);
    ASSERT_TRUE(waitFor([&] { return !replies.isEmpty(); }));
    EXPECT_FALSE(replies.first().value.has_value());
    ASSERT_TRUE(waitReady(*page));
    EXPECT_EQ(replies.size(), 1);

    // Sent as a reload begins: answered once, by whichever document took it.
    page->enginePage()->triggerAction(QWebEnginePage::Reload);
    page->callWithArguments("return 'either document'", {}, count);
    ASSERT_TRUE(waitFor([&] { return replies.size() == 2; }));
    ASSERT_TRUE(waitReady(*page));
    EXPECT_EQ(replies.size(), 2);
    evaluate(*page, "__answers.vesmerPaletteFromImage = {hang: true}");
    page->callWithArguments(PageCalls::paletteBody(), {{"u", "data:"}}, count);
    page->evaluate("vesmerSpec()", count);
    page->close();
    EXPECT_EQ(replies.size(), 2) << "replies never run inside the call that caused them";
    ASSERT_TRUE(waitFor([&] { return replies.size() == 4; }));
    page->evaluate("1", count);
    page->callWithArguments("return '1'", {}, count);
    ASSERT_TRUE(waitFor([&] { return replies.size() == 6; }));
    settle(300);
    EXPECT_EQ(replies.size(), 6);
}
