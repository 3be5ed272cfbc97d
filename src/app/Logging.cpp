// The log file, the ISO timestamps and script quoting of AppState.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "app/AppState.h"
#include "text/JsonText.h"
#include "platform/XdgPaths.h"

namespace {
constexpr qint64 kLogLimitBytes = 1000000;
}

QString AppState::logURL()
{
    static const QString path = XdgPaths::stateHome() + QStringLiteral("/Vesmer/vesmer.log");
    return path;
}

QString AppState::iso(double secondsSinceEpoch)
{
    const auto time = QDateTime::fromSecsSinceEpoch(qint64(std::floor(secondsSinceEpoch)), Qt::UTC);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

void AppState::dlog(const QString& message)
{
    const QString path = logURL();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    // ReadWrite rather than Append: seeking to the end by hand lets an oversized
    // file be emptied first, and a failed seek can never overwrite earlier lines.
    if (!file.open(QIODevice::ReadWrite))
        return;
    const qint64 end = file.size();
    if (end > kLogLimitBytes) {
        if (file.resize(0))
            file.seek(0);
        else if (!file.seek(end))
            return;
    } else if (!file.seek(end)) {
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString line = iso(double(now.toSecsSinceEpoch())) + QLatin1Char(' ') + message + QLatin1Char('\n');
    file.write(line.toUtf8());
    file.close();
}

QString AppState::jsString(const QString& text)
{
    return jsonQuote(text);
}
