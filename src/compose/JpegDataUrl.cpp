#include "compose/JpegDataUrl.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kJpegQuality = 70;

// The PNG decoder allocates each chunk by the length its header declares before
// it reads it, so a 200-byte file may ask for 4 GB. A PNG whose chunks do not fit
// in its bytes is refused before decoding; other formats pass.
bool pngChunksFit(const QByteArray& bytes)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!bytes.startsWith(signature))
        return true;
    qsizetype at = signature.size();
    while (at + 8 <= bytes.size()) {
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
        const quint64 length = (quint64(p[0]) << 24) | (quint64(p[1]) << 16) | (quint64(p[2]) << 8) | p[3];
        const quint64 next = quint64(at) + 12 + length;  // length, type, data, checksum
        if (next > quint64(bytes.size()))
            return false;
        if (bytes.mid(at + 4, 4) == "IEND")
            return true;
        at = qsizetype(next);
    }
    return false;
}
}  // namespace

std::optional<QString> jpegDataURL(const QByteArray& bytes, int maxSide)
{
    // The reader checks the header's size against the allocation limit before it
    // allocates, so a hostile 20000 × 20000 image fails here without using memory.
    if (!pngChunksFit(bytes))
        return std::nullopt;
    const QImage image = QImage::fromData(bytes);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    const double w = image.width();
    const double h = image.height();
    const double scale = std::min(double(maxSide) / std::max(w, h), 1.0);
    const int width = int(w * scale);
    const int height = int(h * scale);
    if (width <= 0 || height <= 0)
        return std::nullopt;

    // Transparent areas start transparent, as in a fresh bitmap, and come out
    // black in the JPEG, which has no alpha.
    QImage bitmap(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull())
        return std::nullopt;
    bitmap.fill(Qt::transparent);
    {
        QPainter painter(&bitmap);
        // Area-averaging shrink; the painter's own smooth transform is bilinear
        // and aliases at the 2× and more that covers are shrunk by.
        painter.drawImage(QPoint(0, 0), width == image.width() && height == image.height()
                                            ? image
                                            : image.scaled(width, height, Qt::IgnoreAspectRatio,
                                                           Qt::SmoothTransformation));
    }

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kJpegQuality);
    if (!writer.write(bitmap))
        return std::nullopt;
    return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(jpeg.toBase64());
}
