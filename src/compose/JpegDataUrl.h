#pragma once
// A cover image as the small JPEG data URL that the page's palette script and the
// backend both take. Pure; any thread. Images are only ever shrunk; an image
// whose pixels would pass Qt's image allocation limit is refused, not decoded.

#include <QByteArray>
#include <QString>
#include <optional>

// "data:image/jpeg;base64,…" of `bytes` scaled to at most `maxSide` pixels on its
// longer side (each side truncated to whole pixels) at JPEG quality 70; none when
// the bytes are no decodable image or a side would be 0 pixels.
std::optional<QString> jpegDataURL(const QByteArray& bytes, int maxSide);
