#include "platform/qt/QtHostWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>

#include "platform/qt/QtWebPage.h"
#include "platform/x11/X11Desktop.h"

namespace {

constexpr QSize kPreviewSize(960, 540);

// X works in device pixels; Qt scales a screen's size but keeps its origin.
QRect nativeFrame(const QRect& frame)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry() == frame)
            return QRect(frame.topLeft(), frame.size() * screen->devicePixelRatio());
    return frame;
}

}  // namespace

QtHostWindow::QtHostWindow(const ScreenInfo& screen, bool preview, const QUrl& page)
    : m_preview(preview), m_view(std::make_unique<QWebEngineView>())
{
    m_page = std::make_unique<QtWebPage>(m_view.get());
    m_page->enginePage()->setBackgroundColor(Qt::black);
    m_view->setPage(m_page->enginePage());
    QPalette palette = m_view->palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_view->setPalette(palette);
    m_view->setAutoFillBackground(true);

    if (preview) {
        m_view->setWindowTitle(QStringLiteral("Vesmer Preview"));
        m_view->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint);
        QRect rect(QPoint(0, 0), kPreviewSize);
        rect.moveCenter(screen.frame.center());
        m_view->setGeometry(rect);
    } else {
        // Left empty, Qt would use the application name, which is the panel's title.
        m_view->setWindowTitle(QStringLiteral("Vesmer Wallpaper"));
        m_view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        m_view->setFocusPolicy(Qt::NoFocus);
        m_view->setGeometry(screen.frame);
        m_desktop = std::make_unique<X11Desktop>(nativeFrame(screen.frame));
        connect(m_desktop.get(), &X11Desktop::coveredChanged, this, &QtHostWindow::visibilityMayHaveChanged);
    }
    m_view->installEventFilter(this);
    m_view->winId();  // the native window, still unmapped, to mark before the first show
    prepareNativeWindow();

    if (!page.isEmpty())
        m_page->load(page);
    m_view->show();
}

QtHostWindow::~QtHostWindow()
{
    close();
}

WebPage& QtHostWindow::page()
{
    return *m_page;
}

QWidget& QtHostWindow::widget()
{
    return *m_view;
}

bool QtHostWindow::isVisibleOnScreen() const
{
    if (!m_view->isVisible() || m_view->isMinimized())
        return false;
    if (m_desktop && m_desktop->covered())
        return false;
    // A native window being mapped (at first, or when the view replaces it) is not
    // exposed yet; that is not the user hiding it.
    const QWindow* window = m_view->windowHandle();
    return !m_exposedOnce || (window && window->isExposed());
}

void QtHostWindow::setVisibilityHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
}

void QtHostWindow::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_handler = nullptr;
    m_desktop.reset();
    m_view->removeEventFilter(this);
    if (QWindow* window = m_view->windowHandle())
        window->removeEventFilter(this);
    m_view->hide();
    m_page->close();
}

void QtHostWindow::prepareNativeWindow()
{
    // Only a window that exists: WinIdChange also reports a native window going
    // away, and asking for an id then would make a new one mid-teardown.
    const WId id = m_view->internalWinId();
    QWindow* window = m_view->windowHandle();
    if (!id || !window)
        return;
    window->removeEventFilter(this);
    window->installEventFilter(this);
    m_exposedOnce = false;
    if (!m_preview)
        X11Desktop::markAsDesktop(id);
}

bool QtHostWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::WinIdChange:
        // The web view swaps in a native window of its own shortly after the first
        // show; what was set on the old one is gone.
        if (watched == m_view.get())
            prepareNativeWindow();
        break;
    case QEvent::Expose:
        if (watched == m_view->windowHandle() && m_view->windowHandle()->isExposed() && !m_exposedOnce) {
            m_exposedOnce = true;
            // Without a window manager nothing keeps a desktop window at the bottom:
            // lower it ourselves so it never covers the panel or other programs.
            if (!m_preview)
                m_view->lower();
        }
        visibilityMayHaveChanged();
        break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        visibilityMayHaveChanged();
        break;
    default:
        break;
    }
    return false;
}

void QtHostWindow::visibilityMayHaveChanged()
{
    // One look per turn of the event loop, after the window's state has settled.
    if (m_notifyQueued || m_closed)
        return;
    m_notifyQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_notifyQueued = false;
        if (m_handler)
            m_handler();
    });
}
