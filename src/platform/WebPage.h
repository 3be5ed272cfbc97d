#pragma once
// Script calls into a loaded web page. Main thread only; every `done` runs on the
// main thread exactly once, also when the page is reloaded or closed meanwhile.

#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

struct ScriptReply {
    std::optional<QString> value;  // the answer when it is a string; none otherwise
    std::optional<QString> error;  // the thrown error's message, when evaluation threw
};

using ScriptDone = std::function<void(const ScriptReply&)>;

// How a page's render process ended when it did not end normally.
struct RendererEnd {
    QString reason;  // "crashed", "killed" or "abnormal"
    int exitCode = 0;
};

class WebPage {
public:
    virtual ~WebPage() = default;
    // Evaluates `expression`; `done` receives the value of its last statement.
    virtual void evaluate(const QString& expression, ScriptDone done = {}) = 0;
    // Runs `body` as a function body in the page's main world with `arguments`
    // delivered as named values (never pasted into the script text); a returned
    // promise is awaited.
    virtual void callWithArguments(const QString& body, const QVariantMap& arguments, ScriptDone done = {}) = 0;
    // `handler` runs from the event loop each time the page's render process ends
    // abnormally (crash, out of memory, killed); the page then shows nothing until
    // reload(). Dropped when the page is closed.
    virtual void setRendererEndedHandler(std::function<void(const RendererEnd&)> handler) = 0;
    // Loads the current document again, in a new render process if the old one ended.
    virtual void reload() = 0;
};
