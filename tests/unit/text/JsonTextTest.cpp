#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include "text/JsonText.h"

namespace {

QString readBack(const QString& literal)
{
    const auto doc = QJsonDocument::fromJson(('[' + literal + ']').toUtf8());
    EXPECT_TRUE(doc.isArray()) << literal.toStdString();
    return doc.array().at(0).toString();
}

}  // namespace

TEST(JsString, EscapesExactlyAsJsonWithEscapedSlash)
{
    struct Row {
        const char* name;
        QString text;
        QString literal;
    };
    const Row rows[] = {
        {"empty", QString(), QStringLiteral("\"\"")},
        {"quote and slash", QStringLiteral("a\"b/c"), QStringLiteral("\"a\\\"b\\/c\"")},
        {"line feeds", QStringLiteral("one\ntwo\r\n"), QStringLiteral("\"one\\ntwo\\r\\n\"")},
        {"accents pass through", QStringLiteral("café déjà"), QStringLiteral("\"café déjà\"")},
        {"backslash tab bs ff", QStringLiteral("\\\t\b\f"), QStringLiteral("\"\\\\\\t\\b\\f\"")},
        {"other controls", QString(QChar(1)) + QChar(0x1f), QStringLiteral("\"\\u0001\\u001f\"")},
        {"U+2028 passes", QString(QChar(0x2028)), QString(QStringLiteral("\"")) + QChar(0x2028) + '"'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(jsonQuote(row.text), row.literal);
    }
}

TEST(JsString, EveryHostileTextReadsBackThroughAJsonParser)
{
    QString controls;
    for (int c = 0; c < 0x20; ++c)
        controls += QChar(c);
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB6 \xF0\x9F\x94\x8A");
    const QString text = QStringLiteral("q\"'\\/</script>") + controls + emoji + QChar(0x2028);
    EXPECT_EQ(readBack(jsonQuote(text)), text);

    // A lone surrogate cannot be encoded; it reads back as U+FFFD.
    const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00);
    EXPECT_EQ(readBack(jsonQuote(lone)),
        QStringLiteral("a") + QChar(0xFFFD) + QStringLiteral("b") + QChar(0xFFFD));
}

TEST(DoubleText, ShortestRoundTripWithFractionalPart)
{
    const std::pair<double, const char*> rows[] = {{0.0, "0.0"},   {1.5, "1.5"},   {128.4, "128.4"},
                                                   {120.0, "120.0"}, {-1.0, "-1.0"}, {0.1 + 0.2, "0.30000000000000004"},
                                                   {1e21, "1e+21"}};
    for (const auto& [value, text] : rows)
        EXPECT_EQ(doubleText(value), text) << value;
    EXPECT_EQ(doubleText(double(0.3f)).toDouble(), double(0.3f));
}
