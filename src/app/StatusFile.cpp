// The status file: a compact JSON snapshot of what the app is doing, rewritten at
// most every 2 s from the pump, for scripts and support tools. Main thread only.
#include <QDir>
#include <QFile>

#include "app/AppState.h"
#include "text/JsonText.h"
#include "platform/XdgPaths.h"

namespace {

// Appends "key":value, for a value already in JSON form.
void appendMember(QString& json, const char* key, const QString& value)
{
    if (json.size() > 1)
        json += QLatin1Char(',');
    json += jsonQuote(QLatin1String(key)) + QLatin1Char(':') + value;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

QString AppState::statusURL()
{
    if (!m_statusURL) {
        const QString folder = XdgPaths::dataHome() + QStringLiteral("/Vesmer");
        QDir().mkpath(folder);  // failure shows up as failed writes, which are ignored
        m_statusURL = folder + QStringLiteral("/status.json");
    }
    return *m_statusURL;
}

void AppState::writeStatus()
{
    if (now() - m_lastStatusWrite <= kStatusInterval)
        return;
    m_lastStatusWrite = now();

    // A value JSON cannot hold (NaN, infinity) fails the whole write, as a
    // serialiser would.
    QString level, silent, bpm;
    if (!jsonNumber(double(rawLevel()), level) || !jsonNumber(now() - lastSignalAt(), silent) ||
        !jsonNumber(m_bpm, bpm))
        return;
    QString json = QStringLiteral("{");
    appendMember(json, "capturing", boolText(m_capturing));
    appendMember(json, "level", level);
    appendMember(json, "silentForSeconds", silent);
    appendMember(json, "wallpaper", jsonQuote(m_wallpaperScreenName));
    appendMember(json, "wallpaperVisible", boolText(wallpaperVisible()));
    appendMember(json, "theme", jsonQuote(m_themeName));
    appendMember(json, "track", jsonQuote(currentTrackText()));
    appendMember(json, "lyric", jsonQuote(m_lyricLine));
    appendMember(json, "bpm", bpm);
    appendMember(json, "compose", jsonQuote(m_composeStatus));
    appendMember(json, "updatedAt", jsonQuote(iso(now())));
    json += QLatin1Char('}');

    // A plain in-place write: readers retry on a torn read. Overwriting and then
    // cutting to length, rather than truncating first, keeps ext4 from flushing the
    // file on close (milliseconds on the main thread, every 2 s).
    QFile file(statusURL());
    if (!file.open(QIODevice::ReadWrite))
        return;
    const QByteArray bytes = json.toUtf8();
    if (file.write(bytes) == bytes.size())
        file.resize(bytes.size());
}
