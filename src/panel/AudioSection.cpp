#include "panel/AudioSection.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/AppState.h"
#include "nowplaying/TrackInfo.h"
#include "panel/LevelMeter.h"
#include "panel/PanelSection.h"
#include "panel/PanelStyle.h"

namespace {

constexpr int kSymbolSize = 16;

}  // namespace

AudioSection::StatusLine AudioSection::statusFor(const StatusInputs& in)
{
    if (!in.captureError.isNull())
        return {in.captureError, Symbol::Warning, PanelStyle::red(), true};
    if (in.capturing && !in.everSawSignal && in.silentForSeconds > kSilenceWarningSeconds) {
        if (in.trackPlaying)
            return {QStringLiteral("Music is playing but Vesmer can't hear it \u2014 make sure it plays on the default "
                                   "output."),
                    Symbol::SpeakerMutedFilled, PanelStyle::orange(), true};
        return {QStringLiteral("No audio detected \u2014 play something and the visuals react."), Symbol::SpeakerMuted,
                {}};
    }
    if (in.capturing)
        return {QStringLiteral("Listening to everything this computer plays"), Symbol::Waveform, PanelStyle::secondary()};
    return {QStringLiteral("Starts automatically with the wallpaper"), Symbol::WaveformOff, PanelStyle::secondary()};
}

AudioSection::AudioSection(AppState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_meter(new LevelMeter(this)),
      m_tempo(new QLabel(this)),
      m_statusSymbol(new QLabel(this)),
      m_status(new QLabel(this)),
      m_openSettings(new QPushButton(QStringLiteral("Open Sound Settings\u2026"), this))
{
    auto* section = new PanelSection(PanelSection::Header{QStringLiteral("System Audio"), Symbol::Waveform}, this);
    m_meter->setFixedSize(160, 14);
    section->addRow(QStringLiteral("Signal"), m_meter);
    PanelStyle::styleLabel(*m_tempo, PanelStyle::secondary());
    section->addRow(QStringLiteral("Tempo"), m_tempo);

    m_statusSymbol->setAlignment(Qt::AlignTop);
    auto* statusRow = new QWidget(section);
    layOutSymbolRow(*statusRow, m_statusSymbol, m_status);
    auto* status = new QWidget(section);
    auto* statusColumn = new QVBoxLayout(status);
    statusColumn->setContentsMargins(0, 0, 0, 0);
    statusColumn->setSpacing(4);
    statusColumn->addWidget(statusRow);
    statusColumn->addWidget(m_openSettings, 0, Qt::AlignLeft);
    section->addRow(status);
    connect(m_openSettings, &QPushButton::clicked, this, [this] { m_state.openSoundSettings(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(section);
    refresh();
}

QString AudioSection::tempoText(double bpm)
{
    if (!(bpm > 0.0))
        return QStringLiteral("\u2014");
    return QString::number(std::llround(bpm)) + QStringLiteral(" BPM");
}

void AudioSection::refresh()
{
    refreshLevel();
    m_tempo->setText(tempoText(m_state.bpm()));
    const std::optional<TrackInfo> track = m_state.currentTrack();
    const StatusLine line = statusFor({m_state.captureError(), m_state.capturing(), m_state.everSawSignal(),
                                       m_state.silentForSeconds(), track && track->playing});
    // The silence count changes three times a second; the line it picks rarely does.
    if (m_shownLine == line)
        return;
    m_shownLine = line;
    PanelStyle::setLines(*m_status, line.text, PanelStyle::kRowTextWidth - kSymbolSize - 6, 3);
    PanelStyle::styleLabel(*m_status, line.colour);
    m_statusSymbol->setPixmap(panelPixmap(line.symbol, kSymbolSize, line.colour));
    m_openSettings->setVisible(line.offersSettings);
}

void AudioSection::refreshLevel()
{
    m_meter->setLevel(m_state.level());
}
