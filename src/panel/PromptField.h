#pragma once
// The scene prompt: a text field that wraps and grows from one to three lines.
// Return submits instead of breaking the line. Main thread only.

#include <QPlainTextEdit>

class PromptField final : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 3;

    explicit PromptField(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }

signals:
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitHeight();
};
