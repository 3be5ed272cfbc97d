#include "app/ActivationUrl.h"

#include <QUrl>
#include <QUrlQuery>

#include "compose/KeyText.h"

namespace {

// QUrl lowercases scheme and host, so the exact comparison reads the raw text:
// "vesmer://" then the authority up to the path, query or fragment, without any
// user info or port.
bool isActivateCallback(const QString& text)
{
    static const QString prefix = QStringLiteral("vesmer://");
    if (!text.startsWith(prefix))
        return false;
    qsizetype end = prefix.size();
    while (end < text.size() && text[end] != QLatin1Char('/') && text[end] != QLatin1Char('?')
           && text[end] != QLatin1Char('#'))
        ++end;
    QString host = text.mid(prefix.size(), end - prefix.size());
    host = host.mid(host.lastIndexOf(QLatin1Char('@')) + 1);
    if (const qsizetype colon = host.indexOf(QLatin1Char(':')); colon >= 0)
        host.truncate(colon);
    return host == QLatin1String("activate");
}

}  // namespace

std::optional<QString> ActivationUrl::key(const QString& urlText)
{
    if (!isActivateCallback(urlText))
        return std::nullopt;
    const QUrl url(urlText);
    if (!url.isValid())
        return std::nullopt;
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& [name, value] : items) {
        if (name != QLatin1String("key"))
            continue;
        // Trimmed when it is read, so a trailing line break may stay.
        if (value.isEmpty() || !keySendable(value.trimmed()))
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}
