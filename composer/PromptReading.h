#pragma once
// What a prompt asks for, read through the lexicon: colours, tone, mood, layer
// types, post effects, audio channel, blend, tempo. The app's own prompt forms
// (the automatic scenes' lyric and song prompts, the cover's steering text) are taken
// apart first, so that their fixed words do not colour the scene: a lyric prompt
// is read by its lyric words.

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "Lexicon.h"

namespace composer {

struct Weighted {
    QString name;
    double weight = 0;
};

struct Reading {
    std::vector<Rgb> named;   // colours named in the prompt, in order
    std::vector<std::pair<Rgb, double>> hints;  // imagery colours with their weight
    bool namedBlack = false;  // a colour too dark to draw with was named
    double toneLight = 0, toneSat = 0;
    Mood mood{};
    std::vector<Weighted> layers;   // in order of first mention
    std::vector<Weighted> post;     // effect and amount (fraction of its range)
    std::vector<Weighted> react;    // channel votes
    std::vector<Weighted> blend;    // blend votes
    std::optional<double> bpm;
    QStringList moodWords;  // the known words, for the graph's "mood"
    QString title;          // a name for the scene
    int knownWords = 0;
    int unknownWords = 0;

    double layerWeight(const QString& type) const;
    double postAmount(const QString& effect) const;
};

// A layer type the prompt weighs this much is always drawn, and a colour named
// this strongly goes into the palette (weaker mentions only lean).
constexpr double kAskedWeight = 0.75;

// `seed` is the prompt's seed: unknown words pick lexicon entries with it.
Reading readPrompt(const QString& prompt, const Lexicon& lexicon, uint64_t seed);

// The fixed forms the app sends, taken apart (exposed for the tests).
struct PromptParts {
    enum Form { Free, Lyric, Song, Cover };
    Form form = Free;
    QString lyric, title, artist, rest;  // rest: the free text, or what follows the known form
    std::optional<double> bpm;
};
PromptParts splitPrompt(const QString& prompt);

}  // namespace composer
