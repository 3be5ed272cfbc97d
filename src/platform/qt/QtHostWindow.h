#pragma once
// The real wallpaper window: a top-level web view showing the visuals page, either
// as the X11 desktop window of one screen (named "Vesmer Wallpaper"; frameless, on
// every workspace, below, click-through, never focused, black) or as the "Vesmer
// Preview" window (titled, closable, 960x540 centred on the screen, on top, takes
// the mouse).
// Visible on screen = shown, exposed, not minimised and not covered by another
// program's fullscreen or maximised window. Main thread only.

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

#include "platform/WallpaperHost.h"

class QWebEngineView;
class QWidget;
class QtWebPage;
class X11Desktop;

class QtHostWindow final : public QObject, public HostWindow {
    Q_OBJECT
public:
    // Shows the window at once; an empty `page` leaves it black.
    QtHostWindow(const ScreenInfo& screen, bool preview, const QUrl& page);
    ~QtHostWindow() override;

    WebPage& page() override;
    bool isVisibleOnScreen() const override;
    void setVisibilityHandler(std::function<void()> handler) override;
    void close() override;

    QtWebPage& webPage() { return *m_page; }
    QWidget& widget();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prepareNativeWindow();
    void visibilityMayHaveChanged();

    bool m_preview;
    std::unique_ptr<QWebEngineView> m_view;
    std::unique_ptr<QtWebPage> m_page;  // declared after the view: goes first
    std::unique_ptr<X11Desktop> m_desktop;
    std::function<void()> m_handler;
    bool m_exposedOnce = false;
    bool m_notifyQueued = false;
    bool m_closed = false;
};
