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

// What a note across a row of the right column may use: its card's inside,
// less room for a scroll bar.
inline constexpr int kRowTextWidth = 340;

// Shows `text` broken into lines of at most `width` px, and no more than
// `maxLines` of them, the last cut short with "…". The label then asks its form
// for exactly those lines: forms in a scrolling column do not ask a word-wrapping
// label how tall it wants to be at its width, and would clip it.
void setLines(QLabel& label, const QString& text, int width, int maxLines);

// The one button of a group drawn in the accent colour.
void makeProminent(QPushButton& button);

}  // namespace PanelStyle
