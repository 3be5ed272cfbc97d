#pragma once
// Scenes from prompts: asks the wallpaper's page for its scene specification and
// current graph, sends them with the prompt through the compose client, hands the
// graph to the page and reads its verdict. A verdict that mentions "guard" or
// "fallback" asks the backend again, at most twice, for a fresh graph. Progress
// and outcome go out as status texts. Also holds the in-flight flag that cover
// scenes share. Main thread only.

#include <QObject>
#include <QString>
#include <optional>

class ComposeClient;
class WallpaperPlacement;
class WallpaperWindow;
struct ComposeResult;

class SceneGenerator : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxAttempts = 3;

    SceneGenerator(ComposeClient& client, const WallpaperPlacement& placement, QObject* parent = nullptr);

    void generate(const QString& prompt, bool vary);

    // True from the start of a composition (a generation or a cover scene) until
    // its finish; the first to finish clears it.
    bool inFlight() const { return m_inFlight; }
    void setInFlight(bool inFlight) { m_inFlight = inFlight; }
    QString lastScenePrompt() const { return m_lastScenePrompt; }

    // "ok" → kLive; a verdict naming "guard" or "fallback" counts as a failure.
    static const QString kLive;  // "✓ live", the status of a scene on screen
    static bool needsRework(const QString& verdict);

signals:
    void statusChanged(const QString& status);
    void sceneApplied();  // the page took a generated graph: theme "AI scene"
    void logLine(const QString& line);

private:
    struct Generation;
    void attempt(const std::shared_ptr<Generation>& generation, std::optional<QString> lastGraph, bool fresh);
    void composed(const std::shared_ptr<Generation>& generation, const ComposeResult& result);
    void finish(const QString& status, bool applied);

    ComposeClient& m_client;
    const WallpaperPlacement& m_placement;
    bool m_inFlight = false;
    QString m_lastScenePrompt;
};
