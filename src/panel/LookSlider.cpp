#include "panel/LookSlider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>

#include "panel/PanelStyle.h"

namespace {

// Positions on the integer slider; fine enough that the stored value reads as continuous.
constexpr int kPositions = 10000;

}  // namespace

LookSlider::LookSlider(QString label, double minimum, double maximum, Binding value, std::function<void()> onChange,
                       QWidget* parent)
    : QWidget(parent),
      m_label(std::move(label)),
      m_minimum(minimum),
      m_maximum(maximum),
      m_value(std::move(value)),
      m_onChange(std::move(onChange)),
      m_slider(new QSlider(Qt::Horizontal, this)),
      m_text(new QLabel(this))
{
    m_slider->setRange(0, kPositions);
    m_slider->setFixedWidth(kSliderWidth);
    m_slider->setAccessibleName(m_label);
    m_text->setFixedWidth(kValueWidth);
    m_text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PanelStyle::styleLabel(*m_text, PanelStyle::secondary());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_slider);
    layout->addWidget(m_text);
    layout->addStretch();

    connect(m_slider, &QSlider::valueChanged, this, &LookSlider::moved);
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_onChange(); });
    refresh();
}

QString LookSlider::valueText() const
{
    return m_text->text();
}

void LookSlider::refresh()
{
    const double value = m_value.read();
    m_text->setText(QString::asprintf("%.2f", value));
    const double fraction = std::clamp((value - m_minimum) / (m_maximum - m_minimum), 0.0, 1.0);
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(int(std::lround(fraction * kPositions)));
}

void LookSlider::moved(int position)
{
    const double value = m_minimum + (m_maximum - m_minimum) * position / kPositions;
    m_value.write(value);
    m_text->setText(QString::asprintf("%.2f", value));
    m_onChange();
}
