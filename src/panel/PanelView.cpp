#include "panel/PanelView.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

#include "app/AppState.h"
#include "panel/AudioSection.h"
#include "panel/DisplaySections.h"
#include "panel/NowPlayingSection.h"
#include "panel/PresetsSection.h"
#include "panel/SceneSection.h"
#include "panel/SettingsTable.h"
#include "wallpaper/ScreenList.h"

namespace {

// A column of the given width that scrolls vertically when its sections are taller than the panel.
QScrollArea* column(QWidget* content, int width, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setFixedWidth(width);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->setWidget(content);
    return area;
}

}  // namespace

PanelView::PanelView(AppState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_screens(std::make_unique<ScreenList>(*state.platform().screens)),
      m_display(new DisplaySections(state, *m_screens)),
      m_audio(new AudioSection(state)),
      m_scene(new SceneSection(state)),
      m_presets(new PresetsSection(state)),
      m_nowPlaying(new NowPlayingSection(state))
{
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(12, 12, 12, 12);
    rightLayout->setSpacing(14);
    for (QWidget* section : {static_cast<QWidget*>(m_audio), static_cast<QWidget*>(m_scene),
                             static_cast<QWidget*>(m_presets), static_cast<QWidget*>(m_nowPlaying)})
        rightLayout->addWidget(section);
    rightLayout->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(column(m_display, kLeftWidth, this), 0, Qt::AlignTop);
    layout->addWidget(column(right, kRightWidth, this), 0, Qt::AlignTop);
    for (int i = 0; i < layout->count(); ++i)
        layout->itemAt(i)->widget()->setFixedHeight(kHeight);
    setFixedSize(kLeftWidth + kRightWidth, kHeight);
    connectChanges();
}

PanelView::~PanelView() = default;

void PanelView::connectChanges()
{
    const auto on = [this](auto signal, unsigned parts) {
        connect(&m_state, signal, this, [this, parts] { invalidate(parts); });
    };
    on(&AppState::capturingChanged, Audio);
    on(&AppState::captureErrorChanged, Audio);
    on(&AppState::silentForSecondsChanged, Audio);
    on(&AppState::everSawSignalChanged, Audio);
    on(&AppState::bpmChanged, Audio);
    on(&AppState::levelChanged, Level);
    on(&AppState::wallpaperScreenNameChanged, Display | Scene);
    on(&AppState::themeNameChanged, Display);
    on(&AppState::composeStatusChanged, Scene);
    on(&AppState::keyStateChanged, Scene);
    on(&AppState::keyStatusChanged, Scene);
    on(&AppState::autoSourceChanged, Scene);
    on(&AppState::lyricLineChanged, NowPlaying);
    on(&AppState::nowPlayingChanged, NowPlaying | Audio);
    on(&AppState::presetsChanged, Presets);
    connect(m_state.platform().settings.get(), &Settings::changed, this, &PanelView::settingChanged);
    for (auto signal : {&ScreenList::allChanged, &ScreenList::selectedIndexChanged})
        connect(m_screens.get(), signal, this, [this] { invalidate(Display); });
}

void PanelView::settingChanged(const QString& key)
{
    // The app state itself configures and checks a newly stored key.
    if (key == settingName(SettingKey::ProKey) || key.startsWith(QLatin1String("auto."))) {
        invalidate(Scene);
    } else {
        invalidate(Display);
    }
}

void PanelView::setLive(bool live)
{
    m_live = live;
    refreshStale();
}

void PanelView::invalidate(unsigned parts)
{
    m_stale |= parts;
    refreshStale();
}

void PanelView::refreshStale()
{
    if (!m_live)
        return;
    const unsigned parts = std::exchange(m_stale, 0u);
    if (parts & Display)
        m_display->refresh();
    if (parts & Audio)
        m_audio->refresh();
    else if (parts & Level)
        m_audio->refreshLevel();
    if (parts & Scene)
        m_scene->refresh();
    if (parts & Presets)
        m_presets->refresh();
    if (parts & NowPlaying)
        m_nowPlaying->refresh();
}
