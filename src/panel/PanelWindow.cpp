#include "panel/PanelWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "app/AppState.h"
#include "panel/PanelView.h"

PanelWindow::PanelWindow(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_view(new PanelView(state, this))
{
    setWindowTitle(QStringLiteral("Vesmer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // The window follows its content and cannot be resized past it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_state.platform().events.get(), &SystemEvents::windowsRestacked, this,
            &PanelWindow::visibilityMayHaveChanged);
}

void PanelWindow::showCentred()
{
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

bool PanelWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        // Expose arrives at the native window, not at the widget.
        if (QWindow* window = windowHandle()) {
            window->removeEventFilter(this);
            window->installEventFilter(this);
        }
        visibilityMayHaveChanged();
        m_state.startNowPlaying();
        break;
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::Move:
    case QEvent::Resize:
        visibilityMayHaveChanged();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle())
        visibilityMayHaveChanged();
    return false;
}

void PanelWindow::visibilityMayHaveChanged()
{
    // One look per turn of the event loop, after the window's state has settled.
    if (m_visibilityQueued)
        return;
    m_visibilityQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_visibilityQueued = false;
        const QWindow* window = windowHandle();
        const bool onScreen = isVisible() && !isMinimized() && window && window->isExposed();
        const bool visible = onScreen && !m_state.platform().events->completelyCovered(winId());
        m_state.setPanelVisible(visible);
        m_view->setLive(visible);
    });
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}
