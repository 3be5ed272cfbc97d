#include "panel/SettingPicker.h"

#include <QSignalBlocker>

#include "platform/Settings.h"

SettingPicker::SettingPicker(Settings& settings, SettingKey key, const QList<Entry>& entries,
                             std::function<void()> chosen, QWidget* parent)
    : QComboBox(parent), m_settings(settings), m_key(key)
{
    for (const Entry& entry : entries)
        addItem(entry.label, entry.value);
    // activated, not currentIndexChanged: only the user's choice is stored.
    connect(this, &QComboBox::activated, this, [this, chosen = std::move(chosen)](int index) {
        writeSetting(m_settings, m_key, itemData(index));
        chosen();
    });
    refresh();
}

void SettingPicker::refresh()
{
    const QVariant stored = readSetting(m_settings, m_key);
    int index = -1;
    for (int i = 0; i < count() && index < 0; ++i)
        if (itemData(i) == stored)
            index = i;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
}
