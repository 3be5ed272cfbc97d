#include "Composer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include "BuiltinEngine.h"
#include "GraphCheck.h"
#include "LlmEngine.h"
#include "PageModel.h"

namespace composer {

namespace {

ComposeOutcome error(int status, const QString& message)
{
    return {status, QJsonObject{{QStringLiteral("error"), message}}, QStringLiteral("-")};
}

}  // namespace

Composer::Composer(std::shared_ptr<const Lexicon> lexicon, LlmEngine* llm)
    : freshSalt([] { return QRandomGenerator::system()->generate64(); }), m_lexicon(std::move(lexicon)), m_llm(llm)
{
}

ComposeOutcome Composer::compose(const QByteArray& body) const
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return error(400, QStringLiteral("the request body is not valid JSON (%1 at byte %2)")
                              .arg(parseError.errorString())
                              .arg(parseError.offset));
    if (!doc.isObject())
        return error(400, QStringLiteral("the request body must be a JSON object"));
    const QJsonObject req = doc.object();

    const QJsonValue prompt = req.value(QLatin1String("prompt"));
    if (!prompt.isUndefined() && !prompt.isNull() && !prompt.isString())
        return error(400, QStringLiteral("\"prompt\" must be a string"));
    const QJsonValue guide = req.value(QLatin1String("spec")), schema = req.value(QLatin1String("schema"));
    if ((!guide.isUndefined() && !guide.isObject()) || (!schema.isUndefined() && !schema.isObject()))
        return error(400, QStringLiteral("\"spec\" and \"schema\" must be JSON objects"));
    QString why;
    const auto page = PageModel::read(guide.toObject(), schema.toObject(), &why);
    if (!page)
        return error(400, why);

    EngineInput in;
    in.prompt = prompt.toString().left(kMaxPromptChars);
    in.fresh = req.value(QLatin1String("fresh")).toBool(false);
    in.vary = req.value(QLatin1String("vary")).toBool(false);
    if (req.value(QLatin1String("lastGraph")).isObject())
        in.lastGraph = req.value(QLatin1String("lastGraph")).toObject();
    const QJsonValue image = req.value(QLatin1String("image"));
    QJsonObject coverFigures;
    if (!image.isUndefined() && !image.isNull()) {
        in.cover = true;
        in.fresh = in.vary = false;
        in.lastGraph.reset();
        if (image.isString())
            in.image = readCover(image.toString());
        const QJsonArray palette = req.value(QLatin1String("palette")).toArray();
        QJsonArray used;
        // Only the first entries can matter: the page draws at most maxPalette.
        for (qsizetype i = 0; i < palette.size() && i < 64 && int(in.palette.size()) < page->maxPalette; ++i)
            if (auto c = parseColor(palette.at(i).toString())) {
                in.palette.push_back(*c);
                used.append(toHex(*c));
            }
        coverFigures.insert(QStringLiteral("palette"), used);
        if (in.image) {
            coverFigures.insert(QStringLiteral("brightness"), in.image->brightness);
            coverFigures.insert(QStringLiteral("saturation"), in.image->saturation);
            coverFigures.insert(QStringLiteral("contrast"), in.image->contrast);
        }
    }
    if (in.fresh || in.vary)
        in.freshSalt = freshSalt();

    QJsonObject graph = composeBuiltin(in, *page, *m_lexicon);
    QString engine = QStringLiteral("builtin");
    if (m_llm) {
        LlmQuestion q;
        q.guide = guide.toObject();
        q.schema = schema.toObject();
        q.prompt = in.prompt;
        q.fresh = in.fresh || in.vary;
        if (in.vary)
            q.lastGraph = in.lastGraph;
        q.cover = coverFigures;
        const LlmAnswer answer = m_llm->ask(q);
        QString failure = answer.failure;
        if (answer.graph) {
            QStringList notes;
            QJsonObject g = sanitizeGraph(*answer.graph, *page, &notes);
            // The palette a request fixes wins; a graph without one borrows the
            // built-in engine's.
            const bool fixedPalette = (in.cover && !in.palette.empty()) || (in.vary && in.lastGraph);
            if (fixedPalette || !g.value(QLatin1String("palette")).isArray())
                g.insert(QStringLiteral("palette"), graph.value(QLatin1String("palette")));
            if (g.value(QLatin1String("layers")).toArray().isEmpty())
                failure = QStringLiteral("unusable answer (no drawable layer)");
            else {
                if (fitCost(g, *page))
                    notes << QStringLiteral("trimmed to the cost limit");
                if (graphBrightness(g, *page, in.cover ? 0.9 : 0) < kMinBrightness)
                    failure = QStringLiteral("unusable answer (the scene would be blank)");
                else {
                    graph = g;
                    engine = notes.isEmpty() ? QStringLiteral("llm")
                                             : QStringLiteral("llm (%1)").arg(notes.join(QStringLiteral(", ")));
                }
            }
        }
        if (engine == QLatin1String("builtin"))
            engine = QStringLiteral("builtin (llm: %1)").arg(failure);
    }
    return {200, QJsonObject{{QStringLiteral("graph"), graph}}, engine};
}

}  // namespace composer
