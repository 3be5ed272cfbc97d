#pragma once
// A picker bound to one settings key: each entry is a label and the value it
// stores. Choosing an entry stores its value and then runs `chosen`; refresh()
// selects the entry of the stored value. Main thread only.

#include <QComboBox>
#include <QVariant>
#include <functional>

#include "panel/SettingsTable.h"

class Settings;

class SettingPicker final : public QComboBox {
    Q_OBJECT
public:
    struct Entry {
        QString label;
        QVariant value;
    };
    SettingPicker(Settings& settings, SettingKey key, const QList<Entry>& entries, std::function<void()> chosen,
                  QWidget* parent = nullptr);

    void refresh();

private:
    Settings& m_settings;
    SettingKey m_key;
};
