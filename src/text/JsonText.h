#pragma once
// The one place where text and numbers become JSON or script text.

#include <QString>

// `text` as a JSON string literal, quotes included. A double quote becomes \",
// a backslash \\, a slash \/; \n \r \t \b \f for those controls, \u00XX for other
// controls; everything else passes through (a lone surrogate becomes U+FFFD).
// Valid both as JSON and as a JavaScript string literal.
QString jsonQuote(const QString& text);

// The shortest decimal text that reads back as the same double, always with a
// fractional part or an exponent: 0.0, 1.5, 128.4, 1e+21. Non-finite values give
// "NaN", "Infinity" or "-Infinity".
QString doubleText(double value);

// A JSON number: the shortest round-trip text (1, 0.5, 1e-07); false for values
// JSON cannot hold (NaN, infinities).
bool jsonNumber(double value, QString& out);
