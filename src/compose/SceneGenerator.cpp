#include "compose/SceneGenerator.h"

#include <QPointer>

#include "compose/ComposeClient.h"
#include "platform/WebPage.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperPlacement.h"
#include "wallpaper/WallpaperWindow.h"

const QString SceneGenerator::kLive = QStringLiteral("✓ live");

namespace {
const QString kNoVerdict = QStringLiteral("no reply from visuals");
constexpr int kLoggedPromptLength = 60;
}  // namespace

// What one generation carries from start to finish. The window is the one on
// screen when it started: a removed wallpaper still gets its apply call.
struct SceneGenerator::Generation {
    QString prompt;
    bool vary = false;
    std::weak_ptr<WallpaperWindow> window;
    QString description;
    int attempt = 0;

    std::shared_ptr<WallpaperWindow> target() const { return window.lock(); }
    QString logHead(const char* kind) const
    {
        return QStringLiteral("%1try=%2 vary=%3 \"%4\" \u2192 ")
            .arg(QLatin1String(kind))
            .arg(attempt)
            .arg(vary ? QLatin1String("true") : QLatin1String("false"), prompt.left(kLoggedPromptLength));
    }
};

SceneGenerator::SceneGenerator(ComposeClient& client, const WallpaperPlacement& placement, QObject* parent)
    : QObject(parent), m_client(client), m_placement(placement)
{
}

bool SceneGenerator::needsRework(const QString& verdict)
{
    return verdict.contains(QLatin1String("guard")) || verdict.contains(QLatin1String("fallback"));
}

void SceneGenerator::generate(const QString& prompt, bool vary)
{
    const std::shared_ptr<WallpaperWindow> window = m_placement.windowHandle().lock();
    if (!window) {
        emit statusChanged(QStringLiteral("set a wallpaper first"));
        return;
    }
    const QString trimmed = prompt.trimmed();
    if (trimmed.isEmpty())
        return;
    m_lastScenePrompt = trimmed;
    m_inFlight = true;
    emit statusChanged(QStringLiteral("composing…"));

    auto generation = std::make_shared<Generation>(Generation{trimmed, vary, window, {}, 0});
    window->page().evaluate(PageCalls::sceneDescription(), [self = QPointer(this), generation](const ScriptReply& answer) {
        if (!self)
            return;
        const std::shared_ptr<WallpaperWindow> target = generation->target();
        if (!answer.value || !target) {
            self->finish(QStringLiteral("visuals not ready yet"), false);
            return;
        }
        generation->description = *answer.value;
        target->page().evaluate(PageCalls::lastGraph(), [self, generation](const ScriptReply& last) {
            if (self)
                self->attempt(generation, last.value, generation->vary);
        });
    });
}

void SceneGenerator::attempt(const std::shared_ptr<Generation>& generation, std::optional<QString> lastGraph, bool fresh)
{
    m_client.compose(generation->prompt, generation->description, lastGraph, generation->vary, fresh,
                     [self = QPointer(this), generation](const ComposeResult& result) {
                         if (self)
                             self->composed(generation, result);
                     });
}

void SceneGenerator::composed(const std::shared_ptr<Generation>& generation, const ComposeResult& result)
{
    if (!result.graph) {
        emit logLine(generation->logHead("gen FAIL ") + result.error);
        finish(result.error, false);
        return;
    }
    const std::shared_ptr<WallpaperWindow> target = generation->target();
    if (!target) {  // the window itself is gone, not just removed from the screen
        finish(kNoVerdict, false);
        return;
    }
    const QString graph = *result.graph;
    target->page().evaluate(PageCalls::applyGraph(graph), [self = QPointer(this), generation, graph](const ScriptReply& reply) {
        if (!self)
            return;
        const QString verdict = reply.value.value_or(kNoVerdict);
        emit self->logLine(generation->logHead("gen ") + verdict + QStringLiteral(" (graph %1B)").arg(graph.size()));
        if (needsRework(verdict) && generation->attempt < kMaxAttempts - 1) {
            emit self->statusChanged(QStringLiteral("reworking…"));
            ++generation->attempt;
            self->attempt(generation, std::nullopt, true);
            return;
        }
        if (needsRework(verdict))
            self->finish(QStringLiteral("couldn’t shape that one — try again or rephrase"), false);
        else if (verdict == QLatin1String("ok"))
            self->finish(kLive, true);
        else
            self->finish(verdict, false);
    });
}

void SceneGenerator::finish(const QString& status, bool applied)
{
    m_inFlight = false;
    emit statusChanged(status);
    if (applied)
        emit sceneApplied();
}
