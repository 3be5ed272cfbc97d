#pragma once
// A web page that records every script it is sent and answers from a table the
// test sets: an expression (or call body) maps to a reply. Unlisted scripts get
// no value. Replies are delivered at once, as the real page does asynchronously.

#include <QHash>
#include <QList>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/WallpaperHost.h"
#include "platform/WebPage.h"

class FakePage final : public WebPage {
public:
    struct Call {
        QString script;
        QVariantMap arguments;  // empty for evaluate
        bool withArguments = false;
    };

    void evaluate(const QString& expression, ScriptDone done = {}) override;
    void callWithArguments(const QString& body, const QVariantMap& arguments, ScriptDone done = {}) override;
    void setRendererEndedHandler(std::function<void(const RendererEnd&)> handler) override
    {
        m_rendererEnded = std::move(handler);
    }
    void reload() override { ++reloads; }

    // Trigger: the render process ended abnormally.
    void endRenderer(const RendererEnd& end = {QStringLiteral("crashed"), 139})
    {
        if (m_rendererEnded)
            m_rendererEnded(end);
    }

    // Scripts evaluated (not call bodies), in order.
    QStringList evaluated() const;
    int countOf(const QString& script) const;
    // The effects map of a vesmerSetFx expression; empty for any other script.
    static QVariantMap effectsOf(const QString& expression);

    QList<Call> calls;
    QHash<QString, ScriptReply> replies;
    int reloads = 0;

private:
    std::function<void(const RendererEnd&)> m_rendererEnded;
};

// A host window holding a FakePage; visibility is set by the test.
class FakeHostWindow final : public HostWindow {
public:
    WebPage& page() override { return fakePage; }
    bool isVisibleOnScreen() const override { return visibleOnScreen; }
    void setVisibilityHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void close() override;

    // Trigger: the window became (in)visible.
    void setVisibleOnScreen(bool visible);

    FakePage fakePage;
    bool visibleOnScreen = true;
    int closeCount = 0;
    std::function<void()> onClose;  // set by FakeWallpaperHost

private:
    std::function<void()> m_handler;
};

class FakeWallpaperHost final : public WallpaperHost {
public:
    std::unique_ptr<HostWindow> createWindow(const ScreenInfo& screen, bool preview) override;

    struct Made {
        ScreenInfo screen;
        bool preview;
        FakeHostWindow* window;  // kept by the host: valid while the host lives
        int openBefore;          // windows made earlier and not closed yet
    };
    QList<Made> made;
    FakeHostWindow* last() const { return made.isEmpty() ? nullptr : made.last().window; }
    // Replies every new window's page starts with.
    QHash<QString, ScriptReply> replies;
    int openWindows = 0;  // made and not closed yet

private:
    std::vector<std::unique_ptr<FakeHostWindow>> m_windows;
};
