#pragma once
// The built-in engine: a prompt (or a cover with its palette) to a graph, offline
// and in well under a millisecond or two. Everything about the page comes from
// the PageModel; everything about words from the Lexicon.

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "ColorMath.h"
#include "CoverImage.h"
#include "Lexicon.h"
#include "PageModel.h"

namespace composer {

struct EngineInput {
    QString prompt;
    bool fresh = false;
    bool vary = false;
    std::optional<QJsonObject> lastGraph;
    // The cover form: the given palette (possibly empty) and what the image showed.
    bool cover = false;
    std::vector<Rgb> palette;
    std::optional<CoverStats> image;
    // Mixed into the seed when `fresh` (or `vary`) is set; the server draws it at
    // random, tests may fix it.
    uint64_t freshSalt = 0;
};

// The seed a request's numbers come from: the prompt's, changed by fresh/vary.
uint64_t engineSeed(const EngineInput& in);

QJsonObject composeBuiltin(const EngineInput& in, const PageModel& page, const Lexicon& lexicon);

}  // namespace composer
