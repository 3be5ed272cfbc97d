#pragma once
// The panel's few colours and text styles, in one place so the sections agree.
// Colours follow the application palette, so a dark desktop theme stays legible.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPushButton>

namespace PanelStyle {

QColor secondary();   // text that matters less: values, notes
QColor quaternary();  // tracks and backgrounds of small controls
QColor accent();
QColor red();
QColor orange();
QColor green();

// A slightly smaller font for notes under a row.
QFont callout(const QFont& base);

// Sets a label's text colour (invalid: the palette's) and, when `callout`, its size.
void styleLabel(QLabel& label, const QColor& colour, bool callout = false);

// A multi-line label that stops after `lines` lines.
void limitLines(QLabel& label, int lines);

// The one button of a group drawn in the accent colour.
void makeProminent(QPushButton& button);

}  // namespace PanelStyle
