#include "panel/PanelSection.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int kSymbolSize = 16;

}  // namespace

PanelSection::PanelSection(std::optional<Header> header, QWidget* parent) : QFrame(parent)
{
    // Never squeezed below what it asks for: a column that runs out of room scrolls.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(4);
    if (header) {
        auto* symbol = new QLabel(this);
        symbol->setPixmap(panelPixmap(header->symbol, kSymbolSize));
        auto* title = new QLabel(header->title, this);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        auto* headerRow = rowOf({symbol, title}, 6, this);
        headerRow->layout()->setContentsMargins(4, 0, 0, 0);
        outer->addWidget(headerRow);
    }
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("card"));
    // Only the card itself, not every frame inside it (labels are frames too).
    card->setStyleSheet(QStringLiteral("QFrame#card { background: palette(base); border: 1px solid palette(midlight);"
                                       " border-radius: 8px; }"));
    m_form = new QFormLayout(card);
    m_form->setContentsMargins(10, 8, 10, 8);
    m_form->setHorizontalSpacing(12);
    m_form->setVerticalSpacing(6);
    m_form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    outer->addWidget(card);
}

void PanelSection::addRow(const QString& label, QWidget* content)
{
    m_form->addRow(label, content);
}

void PanelSection::addRow(QWidget* content)
{
    m_form->addRow(content);
}

void PanelSection::setRowVisible(QWidget* content, bool visible)
{
    m_form->setRowVisible(content, visible);
}

QWidget* rowOf(std::initializer_list<QWidget*> widgets, int spacing, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch();
    return row;
}

void layOutSymbolRow(QWidget& row, QLabel* symbol, QLabel* text)
{
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
}
