#include "panel/PanelStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <QTextLayout>

namespace PanelStyle {

namespace {

QColor textWithAlpha(double alpha)
{
    QColor colour = QApplication::palette().color(QPalette::WindowText);
    colour.setAlphaF(alpha);
    return colour;
}

}  // namespace

QColor secondary() { return textWithAlpha(0.6); }
QColor quaternary() { return textWithAlpha(0.12); }
QColor accent() { return QApplication::palette().color(QPalette::Highlight); }
QColor red() { return QColor(0xd7, 0x2c, 0x2c); }
QColor orange() { return QColor(0xe0, 0x78, 0x10); }
QColor green() { return QColor(0x2a, 0x9d, 0x4a); }

QFont callout(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.92);
    return font;
}

void styleLabel(QLabel& label, const QColor& colour, bool callout)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour : QApplication::palette().color(QPalette::WindowText));
    label.setPalette(palette);
    if (callout)
        label.setFont(PanelStyle::callout(label.font()));
}

void setLines(QLabel& label, const QString& text, int width, int maxLines)
{
    const QFontMetrics metrics(label.font());
    QTextLayout layout(text, label.font());
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    label.setWordWrap(false);
    label.setText(lines.join(QLatin1Char('\n')));
}

void makeProminent(QPushButton& button)
{
    button.setStyleSheet(QStringLiteral("QPushButton { background: palette(highlight); color: palette(highlighted-text);"
                                        " border: none; border-radius: 6px; padding: 5px 12px; }"
                                        " QPushButton:pressed { background: palette(dark); }"));
}

}  // namespace PanelStyle
