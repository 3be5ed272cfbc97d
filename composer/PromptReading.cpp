#include "PromptReading.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "Random.h"

namespace composer {

double Reading::layerWeight(const QString& type) const
{
    for (const Weighted& w : layers)
        if (w.name == type)
            return w.weight;
    return 0;
}

double Reading::postAmount(const QString& effect) const
{
    for (const Weighted& w : post)
        if (w.name == effect)
            return w.weight;
    return 0;
}

namespace {

// Words past this many are read for the seed only: a 10,000-character prompt
// costs no more than a long paragraph.
constexpr int kMaxTokens = 400;
constexpr int kMaxUnknownPicks = 12;

void vote(std::vector<Weighted>& list, const QString& name, double w)
{
    for (Weighted& x : list)
        if (x.name == name) {
            x.weight += w;
            return;
        }
    list.push_back({name, w});
}

void raise(std::vector<Weighted>& list, const QString& name, double amount)
{
    for (Weighted& x : list)
        if (x.name == name) {
            x.weight = std::max(x.weight, amount);
            return;
        }
    list.push_back({name, amount});
}

struct Reader {
    const Lexicon& lex;
    Reading& r;
    Mood moodSum{};
    QStringList avoidLayers, avoidPost;
    bool pickedAlone = false;  // the picks are all the prompt has

    // `picked`: the entry was picked for an unknown word, so it only leans.
    void apply(const LexEntry& e, double w, bool negated, bool picked)
    {
        ++r.knownWords;
        if (negated) {
            for (int d = 0; d < MoodDimCount; ++d)
                moodSum[d] -= 0.5 * w * e.mood[d];
            avoidLayers << e.layers;
            for (const auto& [name, amount] : e.post)
                avoidPost << name;
            return;
        }
        if (e.color) {
            const bool black = luminance(*e.color) < 0.02;
            if (black && !picked)
                r.namedBlack = true;
            else if (!picked && w >= kAskedWeight)
                r.named.push_back(*e.color);
            else
                r.hints.emplace_back(*e.color, w);
        }
        for (size_t i = 0; i < e.colors.size(); ++i)
            r.hints.emplace_back(e.colors[i], w * (1.0 - 0.1 * double(i)));
        r.toneLight += w * e.toneLight;
        r.toneSat += w * e.toneSat;
        for (int d = 0; d < MoodDimCount; ++d)
            moodSum[d] += w * e.mood[d];
        for (int i = 0; i < e.layers.size(); ++i)
            vote(r.layers, e.layers[i], w * (i == 0 ? 1.0 : 0.6));
        // A picked entry only adds a style or mood word when nothing in the
        // prompt was known: "noir detective story" stays noir.
        const bool lean = picked && !pickedAlone;
        if (!lean)
            for (const auto& [name, amount] : e.post)
                raise(r.post, name, amount * std::min(1.0, w));
        if (!e.react.isEmpty())
            vote(r.react, e.react, w);
        if (!e.blend.isEmpty())
            vote(r.blend, e.blend, w);
        if (!lean && (e.hasMood || !e.layers.isEmpty()) && r.moodWords.size() < 6 && !r.moodWords.contains(e.key)
            && !e.key.front().isSymbol())
            r.moodWords << e.key;
    }

    // Reads one part of the prompt with weight w; returns its unknown words.
    QStringList read(const QString& text, double w)
    {
        QStringList unknown;
        const QStringList tokens = tokenize(text, kMaxTokens);
        bool negate = false;
        for (qsizetype i = 0; i < tokens.size();) {
            const QString& token = tokens[i];
            if (lex.isNegator(token)) {
                negate = true;
                ++i;
                continue;
            }
            const LexEntry* entry = nullptr;
            qsizetype used = 1;
            for (qsizetype n = std::min<qsizetype>(lex.maxPhraseWords(), tokens.size() - i); n >= 2 && !entry; --n) {
                entry = lex.find(tokens.mid(i, n).join(QLatin1Char(' ')));
                if (entry)
                    used = n;
            }
            if (!entry && !lex.isStopword(token))
                entry = lex.findWord(token);
            if (entry) {
                apply(*entry, w, negate, false);
                negate = false;
            } else if (!lex.isStopword(token)) {
                bool number = false;
                token.toDouble(&number);
                if (!number && (token.size() > 1 || !token.front().isLetterOrNumber()))
                    unknown << token;
                negate = false;
            }
            i += used;
        }
        return unknown;
    }

    void finish()
    {
        for (int d = 0; d < MoodDimCount; ++d)
            r.mood[d] = std::tanh(moodSum[d]);
        r.toneLight = std::tanh(r.toneLight);
        r.toneSat = std::tanh(r.toneSat);
        std::erase_if(r.layers, [&](const Weighted& x) { return avoidLayers.contains(x.name); });
        std::erase_if(r.post, [&](const Weighted& x) { return avoidPost.contains(x.name); });
        std::stable_sort(r.hints.begin(), r.hints.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
    }
};

}  // namespace

PromptParts splitPrompt(const QString& prompt)
{
    PromptParts p;
    QString text = prompt;
    static const QRegularExpression bpmAfter(QStringLiteral("(?:\\bat\\s+)?\\b(\\d{2,3}(?:[.,]\\d+)?)\\s*-?\\s*bpm\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression bpmBefore(QStringLiteral("\\bbpm\\s*(?:of\\s*|:\\s*|=\\s*)?(\\d{2,3}(?:[.,]\\d+)?)\\b"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpression* re : {&bpmAfter, &bpmBefore}) {
        const auto m = re->match(text);
        if (!m.hasMatch())
            continue;
        QString number = m.captured(1);
        number.replace(QLatin1Char(','), QLatin1Char('.'));
        const double bpm = number.toDouble();
        if (bpm >= 30 && bpm <= 300) {
            p.bpm = bpm;
            text = text.left(m.capturedStart()) + QLatin1Char(' ') + text.mid(m.capturedEnd());
            break;
        }
    }

    const QString open = QStringLiteral("[\"\u201C]"), close = QStringLiteral("[\"\u201D]");
    const auto opts = QRegularExpression::DotMatchesEverythingOption;
    static const QRegularExpression lyric(QStringLiteral("^a scene interpreting this lyric: ") + open + QStringLiteral("(.*)")
                                              + close + QStringLiteral(" \u2014 from ") + open + QStringLiteral("(.*?)")
                                              + close + QStringLiteral(" by ?(.*)$"),
                                          opts);
    static const QRegularExpression song(QStringLiteral("^a bold audio-reactive scene for the song ") + open
                                             + QStringLiteral("(.*?)") + close + QStringLiteral(" by ?(.*)$"),
                                         opts);
    static const QRegularExpression cover(QStringLiteral("^the mood and world of this album cover \u2014 ") + open
                                              + QStringLiteral("(.*?)") + close + QStringLiteral(" by ?(.*)$"),
                                          opts);
    auto artist = [](QString a) {
        a = a.trimmed();
        while (a.endsWith(QLatin1Char(',')))
            a = a.chopped(1).trimmed();
        return a;
    };
    const QString trimmed = text.trimmed();
    if (auto m = lyric.match(trimmed); m.hasMatch()) {
        p.form = PromptParts::Lyric;
        p.lyric = m.captured(1).trimmed();
        p.title = m.captured(2);
        p.artist = artist(m.captured(3));
    } else if (auto m2 = song.match(trimmed); m2.hasMatch()) {
        p.form = PromptParts::Song;
        p.title = m2.captured(1);
        p.artist = artist(m2.captured(2));
    } else if (auto m3 = cover.match(trimmed); m3.hasMatch()) {
        p.form = PromptParts::Cover;
        p.title = m3.captured(1);
        p.artist = artist(m3.captured(2));
    } else {
        p.rest = text;
    }
    return p;
}

Reading readPrompt(const QString& prompt, const Lexicon& lexicon, uint64_t seed)
{
    Reading r;
    Reader reader{lexicon, r, {}, {}, {}, false};
    const PromptParts parts = splitPrompt(prompt);
    r.bpm = parts.bpm;

    // Each part with its weight, and its unknown words with theirs.
    std::vector<std::pair<QStringList, double>> unknown;
    switch (parts.form) {
    case PromptParts::Lyric:
        unknown.emplace_back(reader.read(parts.lyric, 1.0), 1.0);
        unknown.emplace_back(reader.read(parts.title, 0.5), 0.5);
        reader.read(parts.artist, 0.25);
        r.title = parts.lyric;
        break;
    case PromptParts::Song:
        unknown.emplace_back(reader.read(parts.title, 1.0), 1.0);
        reader.read(parts.artist, 0.25);
        reader.moodSum[Energy] += 0.35;  // "bold"
        reader.moodSum[Flash] += 0.2;
        r.title = parts.title;
        break;
    case PromptParts::Cover:
        unknown.emplace_back(reader.read(parts.title, 0.8), 0.8);
        reader.read(parts.artist, 0.25);
        r.title = parts.title;
        break;
    case PromptParts::Free:
        unknown.emplace_back(reader.read(parts.rest, 1.0), 1.0);
        r.title = prompt.simplified();
        break;
    }

    // Words the lexicon does not know pick an entry by the prompt's seed, and lean
    // the scene half as far as a known word would (a quarter beside known words).
    int picks = 0;
    const auto& all = lexicon.sorted();
    const int known = r.knownWords;
    reader.pickedAlone = known == 0;
    const double pickWeight = known == 0 ? 0.5 : 0.25;
    for (const auto& [words, weight] : unknown) {
        for (const QString& word : words) {
            ++r.unknownWords;
            if (picks >= kMaxUnknownPicks || all.empty())
                continue;
            const LexEntry* e = all[size_t(hash64(word, seed) % all.size())];
            reader.apply(*e, pickWeight * weight, false, true);
            --r.knownWords;
            ++picks;
        }
    }
    reader.finish();
    return r;
}

}  // namespace composer
