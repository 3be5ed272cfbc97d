#include "panel/DisplaySections.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <functional>
#include <span>

#include "app/AppState.h"
#include "panel/LookSlider.h"
#include "panel/PanelSection.h"
#include "panel/PanelStyle.h"
#include "panel/SettingPicker.h"
#include "panel/SettingsTable.h"
#include "wallpaper/ScreenList.h"

namespace {

struct SliderRow {
    const char* label;
    SettingKey key;
    double minimum;
    double maximum;
};

constexpr SliderRow kLookRows[] = {
    {"Reactivity", SettingKey::LookReactivity, 0.0, 2.0},
    {"Speed", SettingKey::LookSpeed, 0.25, 2.0},
    {"Exposure", SettingKey::LookExposure, 0.4, 1.8},
    {"Grain", SettingKey::LookGrain, 0.0, 2.0},
};

constexpr SliderRow kFxRows[] = {
    {"Bloom", SettingKey::FxBloom, 0.0, 1.0},
    {"Chroma", SettingKey::FxChroma, 0.0, 1.0},
    {"Scanlines", SettingKey::FxScanlines, 0.0, 1.0},
    {"Dots", SettingKey::FxDots, 0.0, 1.0},
    {"Pixelate", SettingKey::FxPixelate, 0.0, 1.0},
    {"ASCII", SettingKey::FxAscii, 0.0, 1.0},
    {"Hue cycle", SettingKey::FxHue, 0.0, 1.0},
    {"Radial blur", SettingKey::FxRadialBlur, 0.0, 1.0},
    {"Grayscale", SettingKey::FxGrayscale, 0.0, 1.0},
};

constexpr int kThemeNameMinWidth = 70;

}  // namespace

DisplaySections::DisplaySections(AppState& state, ScreenList& screens, QWidget* parent)
    : QWidget(parent), m_state(state), m_settings(*state.platform().settings), m_screens(screens)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(14);
    column->addWidget(wallpaperSection());
    column->addWidget(lookSection());
    column->addWidget(fxSection());
    column->addWidget(qualitySection());
    column->addStretch();
    refresh();
}

DisplaySections::~DisplaySections() = default;

PanelSection* DisplaySections::wallpaperSection()
{
    m_wallpaper = new PanelSection(PanelSection::Header{QStringLiteral("Wallpaper"), Symbol::Wallpaper}, this);

    m_display = new QComboBox(m_wallpaper);
    connect(m_display, &QComboBox::activated, this, [this](int index) {
        m_screens.setSelectedIndex(m_display->itemData(index).toInt());
    });
    m_wallpaper->addRow(QStringLiteral("Display"), m_display);

    m_place = new QPushButton(panelIcon(Symbol::Wallpaper), QString(), m_wallpaper);
    PanelStyle::makeProminent(*m_place);
    connect(m_place, &QPushButton::clicked, this, [this] {
        if (const std::optional<ScreenInfo> screen = m_screens.current())
            m_state.setWallpaper(*screen, false);
    });
    m_remove = new QPushButton(QStringLiteral("Remove"), m_wallpaper);
    QPalette destructive = m_remove->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        destructive.setColor(group, QPalette::ButtonText, PanelStyle::red());  // disabled stays grey
    m_remove->setPalette(destructive);
    connect(m_remove, &QPushButton::clicked, this, [this] { m_state.removeWallpaper(); });
    m_wallpaper->addRow(rowOf({m_place, m_remove}, 8, m_wallpaper));

    auto* previous = new QPushButton(panelIcon(Symbol::Previous), QString(), m_wallpaper);
    previous->setAccessibleName(QStringLiteral("Previous theme"));
    connect(previous, &QPushButton::clicked, this, [this] { m_state.stepTheme(-1); });
    auto* next = new QPushButton(panelIcon(Symbol::Next), QString(), m_wallpaper);
    next->setAccessibleName(QStringLiteral("Next theme"));
    connect(next, &QPushButton::clicked, this, [this] { m_state.stepTheme(1); });
    m_themeName = new QLabel(m_wallpaper);
    m_themeName->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_themeName->setMinimumWidth(kThemeNameMinWidth);
    m_themeName->setAlignment(Qt::AlignCenter);
    m_themeRow = rowOf({previous, m_themeName, next}, 8, m_wallpaper);
    m_wallpaper->addRow(QStringLiteral("Theme"), m_themeRow);

    auto* lyrics = new SettingPicker(m_settings, SettingKey::LyricsMode,
        {{QStringLiteral("In the visuals"), QStringLiteral("visuals")},
         {QStringLiteral("Simple text"), QStringLiteral("overlay")},
         {QStringLiteral("Off"), QStringLiteral("off")}},
        [this] { m_state.lyricsModeChanged(); }, m_wallpaper);
    m_pickers << lyrics;
    m_wallpaper->addRow(QStringLiteral("Lyrics"), lyrics);
    return m_wallpaper;
}

namespace {

PanelSection* sliderSection(const QString& title, Symbol symbol, std::span<const SliderRow> rows, Settings& settings,
                            const std::function<void()>& onChange, QList<LookSlider*>& sliders, QWidget* parent)
{
    auto* section = new PanelSection(PanelSection::Header{title, symbol}, parent);
    for (const SliderRow& row : rows) {
        const SettingKey key = row.key;
        LookSlider::Binding binding{
            [&settings, key] { return readSetting(settings, key).toDouble(); },
            [&settings, key](double value) { writeSetting(settings, key, value); },
        };
        auto* slider = new LookSlider(QLatin1String(row.label), row.minimum, row.maximum, std::move(binding), onChange,
                                      section);
        section->addRow(slider->label(), slider);
        sliders << slider;
    }
    return section;
}

}  // namespace

PanelSection* DisplaySections::lookSection()
{
    return sliderSection(QStringLiteral("Look"), Symbol::Sliders, kLookRows, m_settings, [this] { m_state.applyLook(); },
                         m_sliders, this);
}

PanelSection* DisplaySections::fxSection()
{
    return sliderSection(QStringLiteral("FX"), Symbol::Effects, kFxRows, m_settings, [this] { m_state.applyFx(); },
                         m_sliders, this);
}

PanelSection* DisplaySections::qualitySection()
{
    auto* section = new PanelSection(PanelSection::Header{QStringLiteral("Quality"), Symbol::Speedometer}, this);
    const auto apply = [this] { m_state.applyQuality(); };
    auto* resolution = new SettingPicker(m_settings, SettingKey::QualityResolution,
        {{QStringLiteral("Native"), QStringLiteral("auto")},
         {QStringLiteral("Balanced (1.5×)"), QStringLiteral("balanced")},
         {QStringLiteral("Performance (1×)"), QStringLiteral("performance")}},
        apply, section);
    auto* fps = new SettingPicker(m_settings, SettingKey::QualityFps,
        {{QStringLiteral("30 fps"), 30}, {QStringLiteral("60 fps"), 60}, {QStringLiteral("120 fps"), 120}}, apply,
        section);
    section->addRow(QStringLiteral("Resolution"), resolution);
    section->addRow(QStringLiteral("Frame rate"), fps);
    m_pickers << resolution << fps;
    return section;
}

void DisplaySections::refresh()
{
    {
        const QSignalBlocker quiet(m_display);
        m_display->clear();
        const QList<ScreenInfo>& screens = m_screens.all();
        for (int i = 0; i < screens.size(); ++i)
            m_display->addItem(screens[i].name, i);
        m_display->setCurrentIndex(m_display->findData(m_screens.selectedIndex()));
    }
    const bool hasWallpaper = m_state.wallpaper() != nullptr;
    m_place->setText(hasWallpaper ? QStringLiteral("Move Here") : QStringLiteral("Set as Wallpaper"));
    m_remove->setEnabled(hasWallpaper);
    m_themeName->setText(m_state.themeName());
    m_wallpaper->setRowVisible(m_themeRow, hasWallpaper);
    for (LookSlider* slider : m_sliders)
        slider->refresh();
    for (SettingPicker* picker : m_pickers)
        picker->refresh();
}
