#include "CoverImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <cmath>

namespace composer {

namespace {

constexpr qint64 kMaxPixels = 40'000'000;
constexpr int kSample = 64;  // statistics are read from at most 64 x 64 pixels

}  // namespace

std::optional<CoverStats> readCover(const QString& dataUrl)
{
    if (!dataUrl.startsWith(QLatin1String("data:image/"), Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = dataUrl.indexOf(QLatin1Char(','));
    if (comma < 0 || comma > 200 || !dataUrl.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(dataUrl.mid(comma + 1).toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    QByteArray bytes = decoded.decoded;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(256);  // MB
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > kMaxPixels)
        return std::nullopt;
    // JPEG readers decode straight to the small size, which is also the fast path.
    const QSize small = size.scaled(kSample, kSample, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    reader.setScaledSize(small);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    image = image.convertToFormat(QImage::Format_RGB32);

    CoverStats stats;
    double sumL = 0, sumL2 = 0, sumS = 0;
    // Main colours: 12 hue buckets of colourful pixels plus one of greys, weighted
    // by how colourful and bright each pixel is.
    struct Bucket {
        double r = 0, g = 0, b = 0, w = 0;
    };
    std::array<Bucket, 13> buckets{};
    const int n = image.width() * image.height();
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const Rgb c{qRed(line[x]) / 255.0, qGreen(line[x]) / 255.0, qBlue(line[x]) / 255.0};
            const double l = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            const double mx = std::max({c.r, c.g, c.b}), mn = std::min({c.r, c.g, c.b});
            const double s = mx > 0 ? (mx - mn) / mx : 0;
            sumL += l;
            sumL2 += l * l;
            sumS += s;
            const double w = 0.05 + s * mx;
            Bucket& b = buckets[s < 0.15 ? 12 : std::min(11, int(toHsl(c).h / 30.0))];
            b.r += c.r * w;
            b.g += c.g * w;
            b.b += c.b * w;
            b.w += w;
        }
    }
    stats.brightness = sumL / n;
    stats.saturation = sumS / n;
    stats.contrast = std::sqrt(std::max(0.0, sumL2 / n - stats.brightness * stats.brightness));
    std::array<int, 13> order{};
    for (int i = 0; i < 13; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return buckets[a].w > buckets[b].w; });
    for (int i : order) {
        const Bucket& b = buckets[i];
        if (b.w <= 0 || stats.colors.size() >= 4)
            break;
        stats.colors.push_back({b.r / b.w, b.g / b.w, b.b / b.w});
    }
    return stats;
}

}  // namespace composer
