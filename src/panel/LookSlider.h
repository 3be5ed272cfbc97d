#pragma once
// One slider row's content: a continuous slider over a closed range, 150 px wide,
// and its value as "%.2f" in a 36 px right-aligned column. The value is a binding
// (read and write functions), so the row shows whatever the store holds; onChange
// runs on every change the user makes and once more when the slider is let go.
// Main thread only.

#include <QWidget>
#include <functional>

class QLabel;
class QSlider;

class LookSlider final : public QWidget {
    Q_OBJECT
public:
    struct Binding {
        std::function<double()> read;
        std::function<void(double)> write;
    };

    LookSlider(QString label, double minimum, double maximum, Binding value, std::function<void()> onChange,
               QWidget* parent = nullptr);

    const QString& label() const { return m_label; }
    QString valueText() const;
    QSlider* slider() const { return m_slider; }

    // Shows the bound value again, without running onChange.
    void refresh();

    static constexpr int kSliderWidth = 150;
    static constexpr int kValueWidth = 36;

private:
    void moved(int position);

    QString m_label;
    double m_minimum;
    double m_maximum;
    Binding m_value;
    std::function<void()> m_onChange;
    QSlider* m_slider;
    QLabel* m_text;
};
