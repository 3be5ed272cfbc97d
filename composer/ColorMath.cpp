#include "ColorMath.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace composer {

double clamp01(double v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

Hsl toHsl(const Rgb& c)
{
    const double mx = std::max({c.r, c.g, c.b}), mn = std::min({c.r, c.g, c.b});
    const double l = (mx + mn) / 2, d = mx - mn;
    double h = 0, s = 0;
    if (d > 1e-9) {
        s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
        if (mx == c.r)
            h = (c.g - c.b) / d + (c.g < c.b ? 6 : 0);
        else if (mx == c.g)
            h = (c.b - c.r) / d + 2;
        else
            h = (c.r - c.g) / d + 4;
        h *= 60;
    }
    return {h, s, l};
}

Rgb fromHsl(double h, double s, double l)
{
    h = std::fmod(std::fmod(h, 360.0) + 360.0, 360.0) / 360.0;
    if (s == 0)
        return {l, l, l};
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    auto channel = [&](double t) {
        if (t < 0)
            t += 1;
        if (t > 1)
            t -= 1;
        if (t < 1.0 / 6)
            return p + (q - p) * 6 * t;
        if (t < 1.0 / 2)
            return q;
        if (t < 2.0 / 3)
            return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    return {channel(h + 1.0 / 3), channel(h), channel(h - 1.0 / 3)};
}

double luminance(const Rgb& c)
{
    return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
}

Rgb mix(const Rgb& a, const Rgb& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double chroma(const Rgb& c)
{
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
}

double hueDistance(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180 ? 360 - d : d;
}

std::optional<Rgb> parseColor(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^#([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$"));
    static const QRegularExpression func(QStringLiteral(
        "^(rgb|hsl)a?\\(\\s*([-\\d.]+)(deg)?\\s*,\\s*([-\\d.]+)(%?)\\s*,\\s*([-\\d.]+)(%?)\\s*(,\\s*[-\\d.]+%?\\s*)?\\)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString s = text.trimmed();
    if (s.size() > 64)
        return std::nullopt;
    auto m = hex.match(s);
    if (m.hasMatch()) {
        QString h = m.captured(1);
        if (h.size() == 3)
            h = QString(h[0]) + h[0] + h[1] + h[1] + h[2] + h[2];
        const uint n = h.toUInt(nullptr, 16);
        return Rgb{((n >> 16) & 255) / 255.0, ((n >> 8) & 255) / 255.0, (n & 255) / 255.0};
    }
    m = func.match(s);
    if (!m.hasMatch())
        return std::nullopt;
    bool okA = false, okB = false, okC = false;
    const double a = m.captured(2).toDouble(&okA), b = m.captured(4).toDouble(&okB), c = m.captured(6).toDouble(&okC);
    if (!okA || !okB || !okC || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c))
        return std::nullopt;
    if (m.captured(1).toLower() == QLatin1String("rgb"))
        return Rgb{clamp01(a / 255), clamp01(b / 255), clamp01(c / 255)};
    return fromHsl(a, clamp01(b / 100), clamp01(c / 100));
}

QString toHex(const Rgb& c)
{
    auto two = [](double v) {
        // Math.round in the page: halves round up.
        const int n = int(std::floor(clamp01(v) * 255 + 0.5));
        return QStringLiteral("%1").arg(n, 2, 16, QLatin1Char('0'));
    };
    return QLatin1Char('#') + two(c.r) + two(c.g) + two(c.b);
}

}  // namespace composer
