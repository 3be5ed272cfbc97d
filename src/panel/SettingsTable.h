#pragma once
// Every key the app keeps in the settings store, with its type and the default a
// reader assumes when the store has neither a value of the user's nor a registered
// default. The panel's controls bind to these entries; other folders still name
// their keys in place, below the panel's layer, and must agree with this table.

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <array>

class Settings;

enum class SettingKey {
    QualityResolution,
    QualityFps,
    LyricsMode,
    AutoScenes,
    AutoPace,
    ProKey,
    LookReactivity,
    LookSpeed,
    LookExposure,
    LookGrain,
    FxBloom,
    FxGrayscale,
    FxPixelate,
    FxDots,
    FxScanlines,
    FxAscii,
    FxHue,
    FxChroma,
    FxRadialBlur,
    Presets,
    DidAutoStart,
};

struct SettingEntry {
    SettingKey id;
    const char* key;
    QMetaType::Type type;
    const char* fallback;  // the default as text; empty: none
};

// In the order of SettingKey, so an entry is found by its index.
inline constexpr std::array<SettingEntry, 21> kSettingsTable{{
    {SettingKey::QualityResolution, "quality.resolution", QMetaType::QString, "auto"},
    {SettingKey::QualityFps, "quality.fps", QMetaType::Int, "60"},
    {SettingKey::LyricsMode, "lyrics.mode", QMetaType::QString, "visuals"},
    {SettingKey::AutoScenes, "auto.scenes", QMetaType::Bool, "true"},
    {SettingKey::AutoPace, "auto.pace", QMetaType::Int, "1"},
    {SettingKey::ProKey, "pro.key", QMetaType::QString, ""},
    {SettingKey::LookReactivity, "look.reactivity", QMetaType::Double, "1.0"},
    {SettingKey::LookSpeed, "look.speed", QMetaType::Double, "1.0"},
    {SettingKey::LookExposure, "look.exposure", QMetaType::Double, "1.0"},
    {SettingKey::LookGrain, "look.grain", QMetaType::Double, "1.0"},
    {SettingKey::FxBloom, "fx.bloom", QMetaType::Double, "0"},
    {SettingKey::FxGrayscale, "fx.grayscale", QMetaType::Double, "0"},
    {SettingKey::FxPixelate, "fx.pixelate", QMetaType::Double, "0"},
    {SettingKey::FxDots, "fx.dots", QMetaType::Double, "0"},
    {SettingKey::FxScanlines, "fx.scanlines", QMetaType::Double, "0"},
    {SettingKey::FxAscii, "fx.ascii", QMetaType::Double, "0"},
    {SettingKey::FxHue, "fx.hue", QMetaType::Double, "0"},
    {SettingKey::FxChroma, "fx.chroma", QMetaType::Double, "0"},
    {SettingKey::FxRadialBlur, "fx.radialBlur", QMetaType::Double, "0"},
    {SettingKey::Presets, "presets", QMetaType::QByteArray, ""},
    {SettingKey::DidAutoStart, "didAutoStart", QMetaType::Bool, "false"},
}};

const SettingEntry& settingEntry(SettingKey id);
QString settingName(SettingKey id);

// The stored value (the user's or the registered default), else the table's
// default, converted to the entry's type; a stored value that does not convert
// counts as absent.
QVariant readSetting(const Settings& settings, SettingKey id);
void writeSetting(Settings& settings, SettingKey id, const QVariant& value);
