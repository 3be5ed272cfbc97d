#pragma once
// The lexicon: a JSON data file that says what prompt words mean (colours, moods,
// imagery, styles). Loaded once, then read from any thread. Extending it needs no
// code change: see the file's "about" for the members of an entry.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "ColorMath.h"

namespace composer {

enum MoodDim { Energy, Speed, Flash, Zoom, Drift, Rotate, Bright, Detail, Scale, MoodDimCount };
using Mood = std::array<double, MoodDimCount>;
extern const char* const kMoodNames[MoodDimCount];

struct LexEntry {
    QString key;
    std::optional<Rgb> color;   // a named colour
    std::vector<Rgb> colors;    // hint colours of an image
    double toneLight = 0, toneSat = 0;
    Mood mood{};
    bool hasMood = false;
    QStringList layers;
    std::vector<std::pair<QString, double>> post;
    QString react;
    QString blend;
};

struct LayerHint {
    double depth = 0.5;
    double energy = 0;
    QStringList react;
    QString place = QStringLiteral("free");
};

class Lexicon {
public:
    static std::shared_ptr<const Lexicon> fromJson(const QByteArray& json, QString* error);
    static std::shared_ptr<const Lexicon> load(const QString& path, QString* error);

    // The entry for a word or phrase (lower case, words joined by one space).
    const LexEntry* find(const QString& phrase) const;
    // find(), then the word's simple inflections: plurals, -ing, -ed, -ly, 's.
    const LexEntry* findWord(const QString& word) const;
    bool isStopword(const QString& word) const { return m_stop.contains(word); }
    bool isNegator(const QString& word) const { return m_negators.contains(word); }
    const LayerHint* hint(const QString& layerType) const;
    int maxPhraseWords() const { return m_maxPhraseWords; }
    int size() const { return int(m_sorted.size()); }
    // Every entry, sorted by key: what unknown words pick from.
    const std::vector<const LexEntry*>& sorted() const { return m_sorted; }

private:
    QHash<QString, LexEntry> m_entries;
    std::vector<const LexEntry*> m_sorted;
    QSet<QString> m_stop, m_negators;
    QHash<QString, LayerHint> m_hints;
    int m_maxPhraseWords = 1;
};

// Lower-case words of `text`, in order, at most `maxTokens`. Letters, digits and
// marks make words ("8-bit", "b&w" and "don't" stay whole); each emoji or other
// symbol is a token of its own; everything else separates.
QStringList tokenize(const QString& text, int maxTokens);

}  // namespace composer
