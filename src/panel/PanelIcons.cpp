#include "panel/PanelIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

namespace {

struct SymbolNames {
    const char* resource;  // our drawing, :/panel/icons/<name>.svg
    const char* theme;     // the freedesktop name; empty: none fits
};

SymbolNames namesOf(Symbol symbol)
{
    switch (symbol) {
    case Symbol::Wallpaper: return {"wallpaper", "preferences-desktop-wallpaper"};
    case Symbol::Sliders: return {"sliders", ""};
    case Symbol::Effects: return {"effects", ""};
    case Symbol::Speedometer: return {"speedometer", ""};
    case Symbol::Previous: return {"previous", "go-previous"};
    case Symbol::Next: return {"next", "go-next"};
    case Symbol::Waveform: return {"waveform", ""};
    case Symbol::WaveformOff: return {"waveform-off", ""};
    case Symbol::Warning: return {"warning", "dialog-warning"};
    case Symbol::SpeakerMuted: return {"speaker-muted", "audio-volume-muted"};
    case Symbol::SpeakerMutedFilled: return {"speaker-muted-filled", "audio-volume-muted"};
    case Symbol::MusicNote: return {"music-note", "audio-x-generic"};
    case Symbol::Play: return {"play", "media-playback-start"};
    case Symbol::Pause: return {"pause", "media-playback-pause"};
    case Symbol::Sparkles: return {"sparkles", ""};
    case Symbol::Account: return {"account", ""};
    case Symbol::Wand: return {"wand", ""};
    case Symbol::Star: return {"star", ""};
    case Symbol::Trash: return {"trash", "user-trash"};
    case Symbol::Hand: return {"hand", ""};
    }
    return {"", ""};
}

}  // namespace

QPixmap panelPixmap(Symbol symbol, int size, const QColor& tint)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/panel/icons/%1.svg").arg(QLatin1String(namesOf(symbol).resource)));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    // The drawings are black on transparent; colour them while keeping their alpha.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, size, size), tint.isValid() ? tint : QApplication::palette().color(QPalette::WindowText));
    return pixmap;
}

QIcon panelIcon(Symbol symbol, const QColor& tint)
{
    const SymbolNames names = namesOf(symbol);
    if (!tint.isValid() && *names.theme && QIcon::hasThemeIcon(QLatin1String(names.theme)))
        return QIcon::fromTheme(QLatin1String(names.theme));
    QIcon icon;
    for (const int size : {16, 24, 32})
        icon.addPixmap(panelPixmap(symbol, size, tint));
    return icon;
}
