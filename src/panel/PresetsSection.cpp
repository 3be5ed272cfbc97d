#include "panel/PresetsSection.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "panel/PanelSection.h"
#include "panel/PanelStyle.h"

namespace {

constexpr int kNameWidth = 290;  // what is left of the column beside the trash button

}  // namespace

PresetsSection::PresetsSection(AppState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_section(new PanelSection(PanelSection::Header{QStringLiteral("Presets"), Symbol::Star}, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_section);
    refresh();
}

void PresetsSection::refresh()
{
    // The clicked button may be among the old rows: let its click finish first.
    for (QWidget* row : std::as_const(m_rows)) {
        delete m_section->form().takeRow(row).fieldItem;  // the layout's item, not the row
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    const QList<Preset>& presets = m_state.presets();
    for (const Preset& preset : presets) {
        auto* row = new QWidget(m_section);
        auto* name = new QPushButton(row);
        name->setText(name->fontMetrics().elidedText(preset.name, Qt::ElideRight, kNameWidth));
        name->setToolTip(preset.name);
        name->setFlat(true);
        name->setStyleSheet(QStringLiteral("text-align: left;"));
        connect(name, &QPushButton::clicked, this, [this, preset] { m_state.applyPreset(preset); });
        auto* remove = new QPushButton(panelIcon(Symbol::Trash, PanelStyle::secondary()), QString(), row);
        remove->setFlat(true);
        remove->setAccessibleName(QStringLiteral("Delete preset"));
        remove->setToolTip(QStringLiteral("Delete this preset"));
        connect(remove, &QPushButton::clicked, this, [this, id = preset.id] { m_state.deletePreset(id); });
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->addWidget(name, 1);
        rowLayout->addWidget(remove);
        m_section->addRow(row);
        m_rows << row;
    }
    setVisible(!presets.isEmpty());
}
