#include "PageModel.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>

namespace composer {

double Field::clamp(double v) const
{
    if (!std::isfinite(v))
        return def;
    return v < min ? min : v > max ? max : v;
}

double Field::around(double t) const
{
    t = std::clamp(t, -1.0, 1.0);
    return clamp(t < 0 ? def + (def - min) * t : def + (max - def) * t);
}

double Field::at(double fraction) const
{
    return clamp(min + (max - min) * std::clamp(fraction, 0.0, 1.0));
}

const Field* PageModel::find(const Section& s, const QString& name)
{
    for (const auto& [key, field] : s)
        if (key == name)
            return &field;
    return nullptr;
}

double PageModel::typeCost(const QString& type) const
{
    const auto it = costs.constFind(type);
    if (it != costs.constEnd())
        return *it;
    double heaviest = 0;
    for (double c : costs)
        heaviest = std::max(heaviest, c);
    return heaviest;
}

double PageModel::layerCost(const QString& type, double detail) const
{
    return typeCost(type) * (costBase + costPerDetail * detail);
}

double PageModel::defaultDetail() const
{
    const Field* f = layerField(QStringLiteral("detail"));
    return f && f->kind == Field::Number ? f->def : 0.5;
}

namespace {

bool finite(const QJsonValue& v)
{
    return v.isDouble() && std::isfinite(v.toDouble());
}

// One member description of the schema: a number with minimum and maximum, an
// enumeration, a boolean, or a colour ("#rrggbb" or a palette index).
Field readField(const QJsonObject& s)
{
    Field f;
    if (s.value(QLatin1String("enum")).isArray()) {
        for (const QJsonValue& v : s.value(QLatin1String("enum")).toArray())
            if (v.isString())
                f.values << v.toString();
        if (f.values.isEmpty())
            return f;
        f.kind = Field::Enum;
        const QString def = s.value(QLatin1String("default")).toString();
        f.defText = f.values.contains(def) ? def : f.values.first();
        return f;
    }
    const QString type = s.value(QLatin1String("type")).toString();
    if (type == QLatin1String("number") || type == QLatin1String("integer")) {
        if (!finite(s.value(QLatin1String("minimum"))) || !finite(s.value(QLatin1String("maximum"))))
            return f;
        f.min = s.value(QLatin1String("minimum")).toDouble();
        f.max = s.value(QLatin1String("maximum")).toDouble();
        if (f.max < f.min)
            return f;
        f.def = finite(s.value(QLatin1String("default"))) ? s.value(QLatin1String("default")).toDouble()
                                                           : (f.min + f.max) / 2;
        f.def = std::clamp(f.def, f.min, f.max);
        f.kind = Field::Number;
        return f;
    }
    if (type == QLatin1String("boolean")) {
        f.kind = Field::Boolean;
        f.defBool = s.value(QLatin1String("default")).toBool(false);
        return f;
    }
    if (s.value(QLatin1String("oneOf")).isArray()) {
        bool colorText = false;
        for (const QJsonValue& alt : s.value(QLatin1String("oneOf")).toArray()) {
            const QJsonObject a = alt.toObject();
            if (a.value(QLatin1String("type")).toString() == QLatin1String("string")
                && a.value(QLatin1String("pattern")).toString().contains(QLatin1Char('#')))
                colorText = true;
            if (a.value(QLatin1String("type")).toString() == QLatin1String("integer")
                && finite(a.value(QLatin1String("maximum"))))
                f.maxIndex = int(a.value(QLatin1String("maximum")).toDouble());
        }
        if (colorText)
            f.kind = Field::Color;
    }
    return f;
}

Section readSection(const QJsonObject& properties, const QStringList& skip = {})
{
    Section out;
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it) {
        if (skip.contains(it.key()) || !it.value().isObject())
            continue;
        Field f = readField(it.value().toObject());
        if (f.kind != Field::Other)
            out.emplace_back(it.key(), std::move(f));
    }
    return out;
}

QJsonObject object(const QJsonObject& o, const char* key)
{
    return o.value(QLatin1String(key)).toObject();
}

}  // namespace

std::optional<PageModel> PageModel::read(const QJsonObject& guide, const QJsonObject& schema, QString* error)
{
    PageModel m;
    const QJsonObject props = object(schema, "properties");
    const QJsonObject layers = object(props, "layers");
    const QJsonObject layerProps = object(object(layers, "items"), "properties");
    for (const QJsonValue& v : object(layerProps, "type").value(QLatin1String("enum")).toArray())
        if (v.isString() && !v.toString().isEmpty() && !m.layerTypes.contains(v.toString()))
            m.layerTypes << v.toString();
    if (m.layerTypes.isEmpty()) {
        if (error)
            *error = QStringLiteral("the request's \"schema\" lists no layer types; send the visuals page's vesmerSpec()");
        return std::nullopt;
    }
    m.layer = readSection(layerProps, {QStringLiteral("type")});
    m.motion = readSection(object(object(props, "motion"), "properties"));
    m.post = readSection(object(object(props, "post"), "properties"));
    m.topMembers = props.keys();

    auto count = [](const QJsonObject& o, const char* key, int fallback) {
        const QJsonValue v = o.value(QLatin1String(key));
        return finite(v) && v.toDouble() >= 1 ? int(std::min(v.toDouble(), 64.0)) : fallback;
    };
    m.maxLayers = count(layers, "maxItems", 4);
    m.maxPalette = count(object(props, "palette"), "maxItems", 6);
    m.nameMaxLength = count(object(props, "name"), "maxLength", 60);
    m.moodMaxLength = count(object(props, "mood"), "maxLength", 60);
    const QJsonValue version = object(props, "version").value(QLatin1String("const"));
    if (finite(version))
        m.version = version.toDouble();

    const QJsonObject costs = object(guide, "costs");
    for (auto it = costs.constBegin(); it != costs.constEnd(); ++it)
        if (finite(it.value()) && it.value().toDouble() >= 0)
            m.costs.insert(it.key(), it.value().toDouble());
    const QJsonValue limit = guide.value(QLatin1String("costLimit"));
    if (!m.costs.isEmpty() && finite(limit) && limit.toDouble() > 0) {
        m.hasCosts = true;
        m.costLimit = limit.toDouble();
        // Without the detail rule, assume the dearest reading: cost * (1 + detail).
        m.costBase = 1;
        m.costPerDetail = 1;
        const QJsonObject detail = object(guide, "costDetail");
        if (finite(detail.value(QLatin1String("base"))) && finite(detail.value(QLatin1String("perDetail")))) {
            m.costBase = std::max(0.0, detail.value(QLatin1String("base")).toDouble());
            m.costPerDetail = std::max(0.0, detail.value(QLatin1String("perDetail")).toDouble());
        }
    }
    return m;
}

}  // namespace composer
