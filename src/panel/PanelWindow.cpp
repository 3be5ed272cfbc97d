#include "panel/PanelWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "app/AppState.h"

PanelWindow::PanelWindow(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_capture(new QLabel(this)), m_wallpaper(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Vesmer"));

    auto* setButton = new QPushButton(QStringLiteral("Set as Wallpaper"), this);
    auto* removeButton = new QPushButton(QStringLiteral("Remove"), this);
    connect(setButton, &QPushButton::clicked, this, &PanelWindow::setWallpaperOnFirstScreen);
    connect(removeButton, &QPushButton::clicked, this, [this] { m_state.removeWallpaper(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(setButton);
    buttons->addWidget(removeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_capture);
    layout->addWidget(m_wallpaper);
    layout->addLayout(buttons);
    // The window follows its content and cannot be resized past it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (auto changed : {&AppState::capturingChanged, &AppState::captureErrorChanged,
                         &AppState::wallpaperScreenNameChanged})
        connect(&m_state, changed, this, &PanelWindow::refresh);
    refresh();

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
        m_state.setPanelVisible(onScreen && !m_state.platform().events->completelyCovered(winId()));
    });
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

void PanelWindow::refresh()
{
    if (!m_state.captureError().isNull())
        m_capture->setText(QStringLiteral("Capture failed: ") + m_state.captureError());
    else
        m_capture->setText(m_state.capturing() ? QStringLiteral("Capturing system audio")
                                               : QStringLiteral("Not capturing"));
    const QString screen = m_state.wallpaperScreenName();
    m_wallpaper->setText(screen.isNull() ? QStringLiteral("No wallpaper") : QStringLiteral("Wallpaper on ") + screen);
}

void PanelWindow::setWallpaperOnFirstScreen()
{
    const QList<ScreenInfo> screens = m_state.platform().screens->list();
    if (!screens.isEmpty())
        m_state.setWallpaper(screens.first(), false);
}
