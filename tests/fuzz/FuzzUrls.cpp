// Opened URLs and text quoted into page scripts.
#include <QJsonDocument>
#include <QJsonArray>
#include <cstdint>

#include "app/ActivationUrl.h"
#include "app/AppState.h"
#include "compose/KeyText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // A key taken from a URL can always be sent as a header.
    if (const auto key = ActivationUrl::key(text); key && (key->isEmpty() || !keySendable(key->trimmed())))
        __builtin_trap();
    // Quoted text reads back as itself (lone surrogates become U+FFFD), and never
    // holds a raw line break or "</" that would end a script early.
    const QString quoted = AppState::jsString(text);
    if (quoted.contains(QLatin1Char('\n')) || quoted.contains(QLatin1String("</")))
        __builtin_trap();
    const QJsonDocument back = QJsonDocument::fromJson(("[" + quoted + "]").toUtf8());
    if (!back.isArray() || back.array().size() != 1)
        __builtin_trap();
    if (back.array().at(0).toString() != QString::fromUtf8(text.toUtf8()))
        __builtin_trap();
    return 0;
}
