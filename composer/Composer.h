#pragma once
// POST /api/compose, past the key and rate checks: reads either request form
// (prompt, or image with palette and steering prompt), picks the engine
// and answers {"graph": …} or {"error": …} with a status.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>

#include "Lexicon.h"

namespace composer {

class LlmEngine;

struct ComposeOutcome {
    int status = 200;
    QJsonObject body;  // {"graph": …} or {"error": …}
    QString engine;    // which engine answered, for the log line: "builtin", "llm", "builtin (llm: …)"
};

class Composer {
public:
    // `llm` may be null: the built-in engine answers everything.
    Composer(std::shared_ptr<const Lexicon> lexicon, LlmEngine* llm);

    ComposeOutcome compose(const QByteArray& body) const;

    // The seed salt for "fresh" and "vary" (random by default; tests fix it).
    std::function<uint64_t()> freshSalt;

private:
    std::shared_ptr<const Lexicon> m_lexicon;
    LlmEngine* m_llm;
};

// Prompts past this length are read by their first part; the seed still covers all.
constexpr int kMaxPromptChars = 20000;

}  // namespace composer
