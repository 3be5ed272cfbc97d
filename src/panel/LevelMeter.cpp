#include "panel/LevelMeter.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "panel/PanelStyle.h"

namespace {

constexpr double kGain = 2.2;  // a level of 1/2.2 already fills the track
constexpr double kMinimumBar = 4.0;

}  // namespace

void LevelMeter::setLevel(float level)
{
    if (level == m_level)
        return;
    m_level = level;
    update();
}

double LevelMeter::barWidthFor(double width, float level)
{
    const double fill = std::isnan(level) ? 0.0 : std::clamp(double(level) * kGain, 0.0, 1.0);
    return std::max(width * fill, kMinimumBar);
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track = rect();
    const double radius = track.height() / 2.0;
    painter.setBrush(PanelStyle::quaternary());
    painter.drawRoundedRect(track, radius, radius);

    const QRectF bar(track.left(), track.top(), barWidth(), track.height());
    QColor leading = PanelStyle::accent();
    leading.setAlphaF(0.7);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    gradient.setColorAt(0.0, leading);
    gradient.setColorAt(1.0, PanelStyle::accent());
    painter.setBrush(gradient);
    painter.drawRoundedRect(bar, radius, radius);
}
