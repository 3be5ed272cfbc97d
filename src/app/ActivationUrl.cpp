#include "app/ActivationUrl.h"

#include <QUrl>
#include <QUrlQuery>

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

// A trailing line break is part of a valid key (it is trimmed when the key is
// read), but control characters inside it would break or smuggle into the
// request header it is sent in.
bool sendable(const QString& key)
{
    if (key.size() > ActivationUrl::kMaxKeyLength)
        return false;
    for (const QChar c : key.trimmed())
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
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
        if (value.isEmpty() || !sendable(value))
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}
