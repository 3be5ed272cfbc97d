#include "panel/PromptField.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QTextBlock>
#include <algorithm>

PromptField::PromptField(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    connect(this, &QPlainTextEdit::textChanged, this, &PromptField::fitHeight);
    fitHeight();
}

void PromptField::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !(event->modifiers() & Qt::ShiftModifier)) {
        emit returnPressed();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void PromptField::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    fitHeight();
}

void PromptField::fitHeight()
{
    int lines = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        lines += std::max(1, block.layout() ? block.layout()->lineCount() : 1);
    // Past three lines the field stops growing and scrolls instead.
    setVerticalScrollBarPolicy(lines > kMaxLines ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    lines = std::clamp(lines, 1, kMaxLines);
    const int height = fontMetrics().lineSpacing() * lines + int(2 * document()->documentMargin()) + 2 * frameWidth();
    if (height != this->height())
        setFixedHeight(height);
}
