// The composer's side: any request body, and any prompt read through the
// shipped lexicon. Every answer is a JSON object with a graph or an error.
#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

#include "Composer.h"
#include "PromptReading.h"

namespace {
std::shared_ptr<const composer::Lexicon> lexicon()
{
    static const auto shipped = [] {
        QString error;
        auto loaded = composer::Lexicon::load(QStringLiteral(VESMER_COMPOSER_LEXICON), &error);
        if (!loaded)
            std::abort();
        return loaded;
    }();
    return shipped;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static const composer::Composer engine(lexicon(), nullptr);
    const composer::ComposeOutcome outcome = engine.compose(bytes);
    const bool answered = outcome.body.contains(QLatin1String("graph")) || outcome.body.value(QLatin1String("error")).isString();
    if (!answered || outcome.status < 200 || outcome.status > 599)
        __builtin_trap();
    const QString prompt = QString::fromUtf8(bytes);
    (void)composer::splitPrompt(prompt);
    (void)composer::readPrompt(prompt, *lexicon(), size);
    return 0;
}
