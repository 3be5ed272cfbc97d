#include "compose/Presets.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include "platform/Settings.h"
#include "platform/WebPage.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperPlacement.h"
#include "wallpaper/WallpaperWindow.h"

namespace {
const QString kStoreKey = QStringLiteral("presets");
const QString kUnreadableKey = QStringLiteral("presets.unreadable");
const QString kNoWallpaper = QStringLiteral("set a wallpaper first");
}  // namespace

Presets::Presets(Settings& settings, const WallpaperPlacement& placement, QObject* parent)
    : QObject(parent), m_settings(settings), m_placement(placement)
{
    load();
}

QByteArray Presets::encode(const QList<Preset>& presets)
{
    QJsonArray array;
    for (const Preset& preset : presets)
        array.append(QJsonObject{
            {QLatin1String("id"), preset.id.toString(QUuid::WithoutBraces).toUpper()},
            {QLatin1String("name"), preset.name},
            {QLatin1String("graph"), preset.graph},
        });
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<Preset>> Presets::decode(const QByteArray& blob)
{
    const QJsonDocument document = QJsonDocument::fromJson(blob);
    if (!document.isArray())
        return std::nullopt;
    QList<Preset> presets;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject object = value.toObject();
        const QJsonValue id = object.value(QLatin1String("id"));
        const QJsonValue name = object.value(QLatin1String("name"));
        const QJsonValue graph = object.value(QLatin1String("graph"));
        if (!value.isObject() || !id.isString() || !name.isString() || !graph.isString())
            return std::nullopt;
        // The canonical form only: 36 characters, hyphens in place, either case.
        const QString idText = id.toString();
        const QUuid uuid = QUuid::fromString(idText);
        if (idText.size() != 36 || uuid.isNull())
            return std::nullopt;
        presets.append(Preset{uuid, name.toString(), graph.toString()});
    }
    return presets;
}

void Presets::load()
{
    const QVariant stored = m_settings.value(kStoreKey);
    if (!stored.isValid())
        return;
    const QByteArray blob = stored.toByteArray();
    if (auto presets = decode(blob)) {
        m_list = std::move(*presets);
        return;
    }
    // The next save replaces the blob; keep the first unreadable one for the user.
    if (!m_settings.hasOwnValue(kUnreadableKey))
        m_settings.setValue(kUnreadableKey, blob);
}

void Presets::persist()
{
    m_settings.setValue(kStoreKey, encode(m_list));
}

void Presets::save(const QString& nameSource)
{
    WallpaperWindow* window = m_placement.window();
    if (!window) {
        emit statusChanged(kNoWallpaper);
        return;
    }
    window->page().evaluate(PageCalls::lastGraph(), [self = QPointer(this), nameSource](const ScriptReply& reply) {
        if (!self)
            return;
        if (!reply.value || reply.value->isEmpty() || *reply.value == QLatin1String("null")) {
            emit self->statusChanged(QStringLiteral("nothing to save yet — generate a scene first"));
            return;
        }
        const QString name = nameSource.isEmpty() ? QStringLiteral("Scene %1").arg(self->m_list.size() + 1)
                                                  : nameSource.left(kMaxName);
        self->m_list.append(Preset{QUuid::createUuid(), name, *reply.value});
        while (self->m_list.size() > kMaxPresets)
            self->m_list.removeFirst();
        self->persist();
        emit self->listChanged();
        emit self->statusChanged(QStringLiteral("★ saved"));
    });
}

void Presets::apply(const Preset& preset)
{
    WallpaperWindow* window = m_placement.window();
    if (!window || !m_placement.visible()) {
        emit statusChanged(kNoWallpaper);
        return;
    }
    window->page().evaluate(PageCalls::applyGraph(preset.graph), [self = QPointer(this), name = preset.name](const ScriptReply& reply) {
        if (!self)
            return;
        const QString verdict = reply.value.value_or(QStringLiteral("no reply from visuals"));
        if (verdict != QLatin1String("ok")) {
            emit self->statusChanged(verdict);
            return;
        }
        emit self->statusChanged(QStringLiteral("▶ ") + name);
        emit self->sceneApplied();
    });
}

void Presets::remove(const QUuid& id)
{
    const qsizetype removed = m_list.removeIf([&id](const Preset& preset) { return preset.id == id; });
    persist();
    if (removed > 0)
        emit listChanged();
}
