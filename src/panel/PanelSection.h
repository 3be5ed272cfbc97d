#pragma once
// One grouped section of the panel's forms: an optional header (symbol and
// title) over a rounded card of labelled rows. Main thread only.

#include <QFrame>
#include <QString>
#include <optional>

#include "panel/PanelIcons.h"

class QFormLayout;
class QLabel;

class PanelSection final : public QFrame {
    Q_OBJECT
public:
    struct Header {
        QString title;
        Symbol symbol;
    };
    explicit PanelSection(std::optional<Header> header, QWidget* parent = nullptr);

    // Rows: a label text and its content, or content across the whole row.
    void addRow(const QString& label, QWidget* content);
    void addRow(QWidget* content);
    // Shows or hides the row holding `content`, its label included.
    void setRowVisible(QWidget* content, bool visible);
    QFormLayout& form() const { return *m_form; }

private:
    QFormLayout* m_form;
};

// A horizontal strip of widgets, `spacing` apart, aligned left, without margins.
QWidget* rowOf(std::initializer_list<QWidget*> widgets, int spacing = 8, QWidget* parent = nullptr);

// A symbol beside a note that may run over several lines, the symbol at the top.
void layOutSymbolRow(QWidget& row, QLabel* symbol, QLabel* text);
