#include "panel/NowPlayingSection.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "nowplaying/TrackInfo.h"
#include "panel/PanelIcons.h"
#include "panel/PanelSection.h"
#include "panel/PanelStyle.h"

namespace {

constexpr int kSymbolSize = 16;
constexpr double kCoverRadius = 6.0;

// The image scaled to fill the square and cropped to its rounded shape.
QPixmap roundedCover(const QImage& image, int size)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    const QImage filled = image.scaled(QSize(size, size) * ratio, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, size, size), kCoverRadius, kCoverRadius);
    painter.setClipPath(clip);
    const QRectF source((filled.width() - size * ratio) / 2.0, (filled.height() - size * ratio) / 2.0, size * ratio,
                        size * ratio);
    painter.drawImage(QRectF(0, 0, size, size), filled, source);
    return pixmap;
}

}  // namespace

NowPlayingSection::NowPlayingSection(AppState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_trackRow(new QWidget(this)),
      m_cover(new QLabel(m_trackRow)),
      m_title(new QLabel(m_trackRow)),
      m_subtitle(new QLabel(m_trackRow)),
      m_playState(new QLabel(m_trackRow)),
      m_lyric(new QLabel(this)),
      m_hintRow(new QWidget(this)),
      m_hint(new QLabel(m_hintRow)),
      m_nothing(new QLabel(QStringLiteral("Nothing playing in Spotify or Music."), this))
{
    m_cover->setFixedSize(kCoverSize, kCoverSize);
    m_cover->setAlignment(Qt::AlignCenter);
    QFont medium = m_title->font();
    medium.setWeight(QFont::Medium);
    m_title->setFont(medium);
    PanelStyle::styleLabel(*m_subtitle, PanelStyle::secondary(), true);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    lines->addWidget(m_title);
    lines->addWidget(m_subtitle);
    auto* trackLayout = new QHBoxLayout(m_trackRow);
    trackLayout->setContentsMargins(0, 0, 0, 0);
    trackLayout->setSpacing(10);
    trackLayout->addWidget(m_cover, 0, Qt::AlignVCenter);
    trackLayout->addLayout(lines, 1);
    trackLayout->addWidget(m_playState, 0, Qt::AlignVCenter);
    m_playState->setFixedWidth(kSymbolSize);

    PanelStyle::styleLabel(*m_lyric, PanelStyle::secondary(), true);

    auto* hintSymbol = new QLabel(m_hintRow);
    hintSymbol->setPixmap(panelPixmap(Symbol::Hand, kSymbolSize, PanelStyle::orange()));
    PanelStyle::styleLabel(*m_hint, PanelStyle::orange(), true);
    layOutSymbolRow(*m_hintRow, hintSymbol, m_hint);
    PanelStyle::styleLabel(*m_nothing, PanelStyle::secondary(), true);

    auto* section = new PanelSection(std::nullopt, this);
    for (QWidget* row : {m_trackRow, static_cast<QWidget*>(m_lyric), m_hintRow, static_cast<QWidget*>(m_nothing)})
        section->addRow(row);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(section);
    showPlaceholder();
    refresh();
}

NowPlayingSection::~NowPlayingSection()
{
    if (m_coverReply)
        m_coverReply->abort();
}

void NowPlayingSection::refresh()
{
    const std::optional<TrackInfo> track = m_state.currentTrack();
    m_trackRow->setVisible(track.has_value());
    m_lyric->setVisible(track && !m_state.lyricLine().isEmpty());
    const std::optional<QString> hint = track ? std::nullopt : m_state.permissionHint();
    m_hintRow->setVisible(hint.has_value());
    m_nothing->setVisible(!track && !hint);
    if (hint)
        PanelStyle::setLines(*m_hint, *hint, PanelStyle::kRowTextWidth - kSymbolSize - 6, 3);
    if (!track)
        return;
    // One line each, beside the cover and the play state.
    const int width = PanelStyle::kRowTextWidth - kCoverSize - kSymbolSize - 2 * 10;
    PanelStyle::setLines(*m_title, track->title, width, 1);
    PanelStyle::setLines(*m_subtitle, track->artist + QStringLiteral(" \u00b7 ") + track->source, width, 1);
    m_playState->setPixmap(panelPixmap(track->playing ? Symbol::Play : Symbol::Pause, kSymbolSize, PanelStyle::secondary()));
    PanelStyle::setLines(*m_lyric, m_state.lyricLine(), PanelStyle::kRowTextWidth, 2);
    loadCover(QUrl(track->artworkUrl));
}

void NowPlayingSection::loadCover(const QUrl& url)
{
    if (url == m_coverUrl)
        return;
    m_coverUrl = url;
    if (m_coverReply)
        m_coverReply->abort();
    showPlaceholder();
    if (url.isEmpty() || !url.isValid())
        return;
    QNetworkReply* reply = m_state.platform().network->get(QNetworkRequest(url));
    m_coverReply = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxCoverBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { coverArrived(reply); });
}

void NowPlayingSection::coverArrived(QNetworkReply* reply)
{
    reply->deleteLater();
    // A reply for an address the track no longer has leaves the square alone.
    if (reply->request().url() != m_coverUrl)
        return;
    QImage image;
    if (reply->error() == QNetworkReply::NoError)
        image.loadFromData(reply->readAll());
    if (!image.isNull()) {
        m_cover->setPixmap(roundedCover(image, kCoverSize));
        m_hasCover = true;
    }
}

void NowPlayingSection::showPlaceholder()
{
    m_cover->setPixmap(panelPixmap(Symbol::MusicNote, kSymbolSize + 4, PanelStyle::secondary()));
    m_hasCover = false;
}
