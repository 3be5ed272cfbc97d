#include "panel/SettingsTable.h"

#include "platform/Settings.h"

namespace {

constexpr bool tableFollowsEnumOrder()
{
    for (std::size_t i = 0; i < kSettingsTable.size(); ++i)
        if (static_cast<std::size_t>(kSettingsTable[i].id) != i)
            return false;
    return true;
}
static_assert(tableFollowsEnumOrder(), "kSettingsTable must list its entries in SettingKey order");

QVariant converted(QVariant value, QMetaType::Type type)
{
    if (!value.isValid() || !value.convert(QMetaType(type)))
        return {};
    return value;
}

}  // namespace

const SettingEntry& settingEntry(SettingKey id)
{
    return kSettingsTable[static_cast<std::size_t>(id)];
}

QString settingName(SettingKey id)
{
    return QLatin1String(settingEntry(id).key);
}

QVariant readSetting(const Settings& settings, SettingKey id)
{
    const SettingEntry& entry = settingEntry(id);
    if (QVariant stored = converted(settings.value(QLatin1String(entry.key)), entry.type); stored.isValid())
        return stored;
    return converted(QString::fromLatin1(entry.fallback), entry.type);
}

void writeSetting(Settings& settings, SettingKey id, const QVariant& value)
{
    settings.setValue(settingName(id), value);
}
