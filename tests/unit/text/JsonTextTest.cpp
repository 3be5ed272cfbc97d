#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include "text/JsonText.h"

TEST(JsString, EscapesExactlyAsJsonWithEscapedSlashAndReadsBackThroughAJsonParser)
{
    const std::tuple<const char*, QString, QString> rows[] = {
        {"quote and slash", QStringLiteral("a\"b/c"), QStringLiteral("\"a\\\"b\\/c\"")},
        {"U+2028 passes", QString(QChar(0x2028)), QString(QStringLiteral("\"")) + QChar(0x2028) + '"'},
        {"lone surrogates become U+FFFD", QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00),
         QStringLiteral("\"a\uFFFDb\uFFFD\"")},
    };
    for (const auto& [name, text, literal] : rows)
        EXPECT_EQ(jsonQuote(text), literal) << name;

    // Every control, surrogate pairs and a closing script tag read back as they were.
    QString hostile = QStringLiteral("q\"'\\/</script>\U0001F3B6 \U0001F50A\u2028");
    for (int c = 0; c < 0x20; ++c)
        hostile += QChar(c);
    EXPECT_EQ(QJsonDocument::fromJson(('[' + jsonQuote(hostile) + ']').toUtf8()).array().at(0).toString(), hostile);
}

TEST(DoubleText, ShortestRoundTripWithFractionalPart)
{
    const std::pair<double, const char*> rows[] = {
        {0.0, "0.0"}, {128.4, "128.4"}, {-1.0, "-1.0"}, {0.1 + 0.2, "0.30000000000000004"}, {1e21, "1e+21"}};
    for (const auto& [value, text] : rows)
        EXPECT_EQ(doubleText(value), text) << value;
}
