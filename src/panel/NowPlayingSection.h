#pragma once
// The now-playing section: the current track with its cover, the player and
// whether it plays, the current lyric line under it; or, with no track, why
// nothing is shown. The cover is fetched in the background; a reply for a cover
// that is no longer the track's is dropped. Main thread only.

#include <QPointer>
#include <QUrl>
#include <QWidget>

class AppState;
class QLabel;
class QNetworkReply;

class NowPlayingSection final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCoverSize = 36;
    // A cover larger than this is not an album cover; it is not read.
    static constexpr qint64 kMaxCoverBytes = 8 * 1024 * 1024;

    explicit NowPlayingSection(AppState& state, QWidget* parent = nullptr);
    ~NowPlayingSection() override;

    void refresh();
    // Whether the cover square shows a picture rather than the note placeholder.
    bool showsCover() const { return m_hasCover; }

private:
    void loadCover(const QUrl& url);
    void coverArrived(QNetworkReply* reply);
    void showPlaceholder();

    AppState& m_state;
    QWidget* m_trackRow;
    QLabel* m_cover;
    QLabel* m_title;
    QLabel* m_subtitle;
    QLabel* m_playState;
    QLabel* m_lyric;
    QWidget* m_hintRow;
    QLabel* m_hint;
    QLabel* m_nothing;
    QUrl m_coverUrl;
    QPointer<QNetworkReply> m_coverReply;
    bool m_hasCover = false;
};
