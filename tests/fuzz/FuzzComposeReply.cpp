// Whatever the backend answers, and whatever the settings hold as presets.
#include <QJsonDocument>
#include <cstdint>

#include "compose/ComposeClient.h"
#include "compose/Presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const int status = size > 0 ? 200 + data[0] % 4 * 100 + (data[0] & 1) : 0;
    for (const ComposeResult& result : {ComposeClient::composeReply({std::nullopt, status, bytes}),
                                        ComposeClient::imageReply({std::nullopt, status, bytes}, {"#102030"})}) {
        // A graph handed on is always JSON the page can parse again.
        if (result.graph && QJsonDocument::fromJson(result.graph->toUtf8()).isNull())
            __builtin_trap();
        if (!result.graph && result.error.isEmpty())
            __builtin_trap();
    }
    // A list that reads back is written back to the same list.
    if (const auto presets = Presets::decode(bytes); presets && Presets::decode(Presets::encode(*presets)) != presets)
        __builtin_trap();
    return 0;
}
