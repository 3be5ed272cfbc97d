#pragma once
// The signal level as a capsule: a faint track filling the widget, and over it,
// from the leading edge, a bar in the accent gradient whose width is
// max(W × min(level × 2.2, 1), 4). Its user sets its size. Main thread only.

#include <QWidget>

class LevelMeter final : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    float level() const { return m_level; }
    // Repaints only when the level differs.
    void setLevel(float level);

    double barWidth() const { return barWidthFor(width(), m_level); }
    // A level that is not a number draws as silence.
    static double barWidthFor(double width, float level);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float m_level = 0.0f;
};
