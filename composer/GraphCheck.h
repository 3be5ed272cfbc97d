#pragma once
// Graph rules the engines share: cleaning a graph by the page's schema, its cost
// by the page's cost table, and how bright it would be on screen, computed as the
// page computes them (visuals/lib/graph.js: normalize, cost, brightest).

#include <QJsonObject>
#include <QStringList>

#include "PageModel.h"

namespace composer {

// A copy of `graph` with only the members the schema knows, numbers clamped to
// their ranges, enumerations and colours checked, palette and layers cut to the
// schema's lengths, and layers of unknown type dropped. Adds to `notes` what it
// had to change.
QJsonObject sanitizeGraph(const QJsonObject& graph, const PageModel& page, QStringList* notes = nullptr);

// The sum of the layers' costs (layers of a type the schema does not list are
// not drawn and cost nothing).
double graphCost(const QJsonObject& graph, const PageModel& page);

// The brightest thing the graph would draw: the page's "blank" test. A graph
// without a usable palette uses `fallbackPalette` (the page's own default is not
// part of its description). `minPaletteAmount` plays the client's cover
// adjustment, which raises paletteAmount to at least 0.9.
double graphBrightness(const QJsonObject& graph, const PageModel& page, double minPaletteAmount = 0);

// Lowers detail, heaviest contribution first, then drops layers from the top
// (never the ones in `keep` while others remain) until the cost is within the
// limit, with a small margin. Returns whether it changed anything.
bool fitCost(QJsonObject& graph, const PageModel& page, const QStringList& keep = {});

// The margin the engines keep below the page's limits.
constexpr double kCostMargin = 0.98;
constexpr double kMinBrightness = 0.05;  // the page refuses below 0.015

}  // namespace composer
