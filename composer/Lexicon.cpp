#include "Lexicon.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace composer {

const char* const kMoodNames[MoodDimCount] = {"energy", "speed", "flash", "zoom", "drift",
                                              "rotate", "bright", "detail", "scale"};

namespace {

double number(const QJsonValue& v, double lo, double hi)
{
    const double d = v.toDouble(0);
    return std::isfinite(d) ? std::clamp(d, lo, hi) : 0.0;
}

LexEntry readEntry(const QString& key, const QJsonObject& o)
{
    LexEntry e;
    e.key = key;
    if (o.contains(QLatin1String("color")))
        e.color = parseColor(o.value(QLatin1String("color")).toString());
    for (const QJsonValue& c : o.value(QLatin1String("colors")).toArray())
        if (auto rgb = parseColor(c.toString()))
            e.colors.push_back(*rgb);
    const QJsonObject tone = o.value(QLatin1String("tone")).toObject();
    e.toneLight = number(tone.value(QLatin1String("light")), -1, 1);
    e.toneSat = number(tone.value(QLatin1String("sat")), -1, 1);
    const QJsonObject mood = o.value(QLatin1String("mood")).toObject();
    for (int d = 0; d < MoodDimCount; ++d) {
        e.mood[d] = number(mood.value(QLatin1String(kMoodNames[d])), -1, 1);
        e.hasMood = e.hasMood || e.mood[d] != 0;
    }
    for (const QJsonValue& l : o.value(QLatin1String("layers")).toArray())
        if (l.isString())
            e.layers << l.toString();
    const QJsonObject post = o.value(QLatin1String("post")).toObject();
    for (auto it = post.constBegin(); it != post.constEnd(); ++it)
        e.post.emplace_back(it.key(), number(it.value(), 0, 1));
    std::sort(e.post.begin(), e.post.end());
    e.react = o.value(QLatin1String("react")).toString();
    e.blend = o.value(QLatin1String("blend")).toString();
    return e;
}

}  // namespace

std::shared_ptr<const Lexicon> Lexicon::fromJson(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        if (error)
            *error = QStringLiteral("the lexicon is not a JSON object (%1)").arg(parseError.errorString());
        return nullptr;
    }
    const QJsonObject root = doc.object();
    auto lex = std::make_shared<Lexicon>();
    const QJsonObject entries = root.value(QLatin1String("entries")).toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const QString key = it.key().simplified().toLower();
        if (key.isEmpty() || !it.value().isObject())
            continue;
        lex->m_entries.insert(key, readEntry(key, it.value().toObject()));
        lex->m_maxPhraseWords = std::max(lex->m_maxPhraseWords, int(key.count(QLatin1Char(' '))) + 1);
    }
    if (lex->m_entries.isEmpty()) {
        if (error)
            *error = QStringLiteral("the lexicon has no entries");
        return nullptr;
    }
    for (const LexEntry& e : std::as_const(lex->m_entries))
        lex->m_sorted.push_back(&e);
    std::sort(lex->m_sorted.begin(), lex->m_sorted.end(),
              [](const LexEntry* a, const LexEntry* b) { return a->key < b->key; });
    for (const QJsonValue& w : root.value(QLatin1String("stopwords")).toArray())
        lex->m_stop.insert(w.toString().toLower());
    for (const QJsonValue& w : root.value(QLatin1String("negators")).toArray())
        lex->m_negators.insert(w.toString().toLower());
    const QJsonObject hints = root.value(QLatin1String("layerHints")).toObject();
    for (auto it = hints.constBegin(); it != hints.constEnd(); ++it) {
        const QJsonObject h = it.value().toObject();
        LayerHint hint;
        hint.depth = number(h.value(QLatin1String("depth")), 0, 1);
        hint.energy = number(h.value(QLatin1String("energy")), -1, 1);
        for (const QJsonValue& r : h.value(QLatin1String("react")).toArray())
            hint.react << r.toString();
        if (h.value(QLatin1String("place")).isString())
            hint.place = h.value(QLatin1String("place")).toString();
        lex->m_hints.insert(it.key(), hint);
    }
    return lex;
}

std::shared_ptr<const Lexicon> Lexicon::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read the lexicon %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    auto lex = fromJson(file.readAll(), error);
    if (!lex && error)
        *error = path + QStringLiteral(": ") + *error;
    return lex;
}

const LexEntry* Lexicon::find(const QString& phrase) const
{
    const auto it = m_entries.constFind(phrase);
    return it == m_entries.constEnd() ? nullptr : &*it;
}

const LexEntry* Lexicon::findWord(const QString& word) const
{
    if (const LexEntry* e = find(word))
        return e;
    if (word.size() < 4)
        return nullptr;
    auto tryStem = [&](qsizetype cut, const char* add) -> const LexEntry* {
        if (word.size() - cut < 3)
            return nullptr;
        return find(word.left(word.size() - cut) + QLatin1String(add));
    };
    auto ends = [&](const char* s) { return word.endsWith(QLatin1String(s)); };
    if (ends("'s"))
        return find(word.chopped(2));
    if (ends("ies"))
        if (auto e = tryStem(3, "y"))
            return e;
    if (ends("es"))
        if (auto e = tryStem(2, ""))
            return e;
    if (ends("s") && !ends("ss"))
        if (auto e = tryStem(1, ""))
            return e;
    if (ends("ing")) {
        if (auto e = tryStem(3, ""))
            return e;
        if (auto e = tryStem(3, "e"))
            return e;
        // running -> run
        if (word.size() > 6 && word[word.size() - 4] == word[word.size() - 5])
            if (auto e = tryStem(4, ""))
                return e;
    }
    if (ends("ed")) {
        if (auto e = tryStem(2, ""))
            return e;
        if (auto e = tryStem(1, ""))
            return e;
    }
    if (ends("ly"))
        if (auto e = tryStem(2, ""))
            return e;
    if (ends("ness"))
        if (auto e = tryStem(4, ""))
            return e;
    return nullptr;
}

const LayerHint* Lexicon::hint(const QString& layerType) const
{
    const auto it = m_hints.constFind(layerType);
    return it == m_hints.constEnd() ? nullptr : &*it;
}

QStringList tokenize(const QString& text, int maxTokens)
{
    QStringList out;
    QString word;
    auto flush = [&] {
        // Inner joiners only: "8-bit" stays, a trailing "-" or "'" goes.
        while (!word.isEmpty() && (word.back() == QLatin1Char('-') || word.back() == QLatin1Char('\'')
                                   || word.back() == QLatin1Char('&')))
            word.chop(1);
        if (!word.isEmpty())
            out << word.toLower();
        word.clear();
    };
    const QList<uint> codePoints = text.toUcs4();
    for (uint cp : codePoints) {
        if (out.size() >= maxTokens)
            break;
        const char32_t c = char32_t(cp);
        // Joiners and presentation selectors of emoji are dropped.
        if (c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x1F3FB && c <= 0x1F3FF))
            continue;
        const auto category = QChar::category(c);
        const bool wordChar = QChar::isLetterOrNumber(c) || category == QChar::Mark_NonSpacing
                              || category == QChar::Mark_SpacingCombining;
        if (wordChar) {
            word.append(QString::fromUcs4(&c, 1));
            continue;
        }
        if ((c == U'-' || c == U'\'' || c == U'\u2019' || c == U'&') && !word.isEmpty()) {
            word.append(c == U'\u2019' ? QChar(u'\'') : QChar(char16_t(c)));
            continue;
        }
        flush();
        // Emoji and other pictographs are words of their own.
        if (category == QChar::Symbol_Other && out.size() < maxTokens)
            out << QString::fromUcs4(&c, 1);
    }
    if (out.size() < maxTokens)
        flush();
    return out;
}

}  // namespace composer
