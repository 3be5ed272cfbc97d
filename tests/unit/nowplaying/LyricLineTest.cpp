// LRC parsing: the rules as a table and hostile text; and the analysis tool.
#include <QProcess>
#include <gtest/gtest.h>

#include "nowplaying/LyricLine.h"

TEST(LyricLine, ParsesTheLrcRules)
{
    const std::tuple<const char*, QString, LyricLines> rows[] = {
        {"fraction", "[00:12.34]Hello", {{12.34, "Hello"}}},
        {"whole seconds, trimmed", "[01:02]  Hi there  ", {{62, "Hi there"}}},
        {"two tags", "[00:10.00][00:50.00]Chorus", {{10, "Chorus"}, {50, "Chorus"}}},
        {"text after the last tag", "[00:10.00]Hello [00:12.00]World", {{10, "World"}, {12, "World"}}},
        {"no text, metadata, three fields, untagged", "[00:20.00]\n[ar:Someone]\n[00:12:34]Text\nplain", {}},
        {"sorted, equal times stable", "[00:30]c\r\n[00:10]a\r[00:10]b", {{10, "a"}, {10, "b"}, {30, "c"}}},
        {"seconds past 59", "[00:75]x", {{75, "x"}}},
        {"point without digits", "[00:12.]x\n[1:2.5]y", {{62.5, "y"}}},
        {"unicode separators and spaces", QStringLiteral("[00:01]\u3000a\u3000\u2028[00:02]b\u2029[00:03]c\u0085[00:04]d"),
         {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}}},
        {"digits of another script read as 0", QStringLiteral("[\u0661:\u0662]x"), {{0, "x"}}},
        {"unterminated brackets", "[00:01[00:02]a[[00:03", {{2, "a[[00:03"}}},
    };
    for (const auto& [name, text, expected] : rows)
        EXPECT_EQ(parseLRC(text), expected) << name;
}

TEST(LyricLine, HostileTextEndsWithoutHarm)
{
    EXPECT_EQ(parseLRC(QStringLiteral("[00:01]").repeated(1'000'000) + QStringLiteral("x")).size(), 1'000'000);

    const QString nines(400, QLatin1Char('9'));
    // Too large for a double: unreadable.
    EXPECT_EQ(parseLRC("[" + nines + ":" + nines + "]big"), (LyricLines{{0, "big"}}));
    EXPECT_EQ(parseLRC(QStringLiteral("[00:01]") + QString(5'000'000, QLatin1Char('['))).size(), 1);
    EXPECT_TRUE(parseLRC(QString(10'000'000, QLatin1Char('1'))).isEmpty());
    const QByteArray invalid("[00:01]\xff\xfe\xc3(\xed\xa0\x80 ok\n[00:02]\xf0\x28\x8c\x28");
    EXPECT_EQ(parseLRC(QString::fromUtf8(invalid)).size(), 2);
}

TEST(LyricLine, AnalyzeToolPrintsWhatTheAppWouldShow)
{
    const auto analyze = [](const QByteArray& text, const QStringList& arguments) {
        QProcess tool;
        tool.start(VESMER_ANALYZE, QStringList{"--lrc", "/dev/stdin"} + arguments);
        tool.write(text);
        tool.closeWriteChannel();
        return tool.waitForFinished(10000) ? QString::fromUtf8(tool.readAllStandardOutput()) : QString();
    };
    EXPECT_EQ(analyze("[00:02]b \"q\"\n[00:01.25]a", {}), "[[1.25,\"a\"],\n [2,\"b \\\"q\\\"\"]]\n");
    // Plain lines start 5 s in and share the song; songs of 20 s or less get none.
    EXPECT_EQ(analyze("a\n\n b \nc\nd", {"--duration", "210"}), "[[5,\"a\"],\n [55,\"b\"],\n [105,\"c\"],\n [155,\"d\"]]\n");
    EXPECT_EQ(analyze("one", {"--duration", "20"}), "[]\n");
}
