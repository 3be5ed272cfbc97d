#pragma once
// What the visuals page says it can draw, read from the request: the layer types,
// every member's range, default and enumeration from "schema" (JSON Schema, as
// vesmerSchema builds it), and the layer costs and cost limit from "spec" (the
// page's describe()). Nothing here knows the page's numbers: a layer type or a
// member the page adds reaches the engine through these two objects.

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace composer {

struct Field {
    enum Kind { Number, Enum, Boolean, Color, Other };
    Kind kind = Other;
    double min = 0, max = 1, def = 0;  // Number
    QStringList values;                // Enum
    QString defText;                   // Enum default
    bool defBool = false;              // Boolean
    int maxIndex = -1;                 // Color: highest palette index it accepts, -1 when none

    double clamp(double v) const;
    // A point of the range: t = -1 is min, 0 the default, 1 max.
    double around(double t) const;
    // A fraction of the range: 0 is min, 1 max.
    double at(double fraction) const;
};

using Section = std::vector<std::pair<QString, Field>>;

struct PageModel {
    QStringList layerTypes;
    Section layer;   // members of a layer other than "type"
    Section motion;
    Section post;
    QStringList topMembers;  // members of a graph the schema lists
    int maxLayers = 1;
    int maxPalette = 1;
    int nameMaxLength = 60;
    int moodMaxLength = 60;
    std::optional<double> version;  // the schema's const "version", when it has one

    // From "spec"; without them the engine stays cautious (see hasCosts).
    QHash<QString, double> costs;
    double costLimit = 0;
    double costBase = 1;
    double costPerDetail = 0;
    bool hasCosts = false;

    const Field* layerField(const QString& name) const { return find(layer, name); }
    const Field* motionField(const QString& name) const { return find(motion, name); }
    const Field* postField(const QString& name) const { return find(post, name); }
    bool hasTop(const QString& name) const { return topMembers.contains(name); }
    bool hasLayerType(const QString& type) const { return layerTypes.contains(type); }

    // The render cost of one layer of `type` at `detail`; a type without a listed
    // cost counts as the heaviest listed one.
    double layerCost(const QString& type, double detail) const;
    double typeCost(const QString& type) const;
    // The default detail of a layer (what the page assumes when it is missing).
    double defaultDetail() const;

    // Reads both objects. Fails (with a reason for the client) when the schema
    // names no layer types.
    static std::optional<PageModel> read(const QJsonObject& guide, const QJsonObject& schema, QString* error);

private:
    static const Field* find(const Section& s, const QString& name);
};

}  // namespace composer
