#pragma once

#include "platform/Outcome.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace orvanta {

// What an image's header says, read without decoding any pixels.
struct ImageHeader {
    QByteArray format;  // "jpeg", "png" or "gif"
    QSize size;         // as stored, before the orientation is applied

    friend bool operator==(const ImageHeader&, const ImageHeader&) = default;
};

// Turning received or chosen pictures into small upright JPEGs. Plain
// functions without shared state: they run on any thread.
namespace ImageThumbnail {

// The header of a JPEG, PNG or GIF. Other formats are refused: vector
// formats (an SVG served as "image/png") would be rendered rather than
// decoded, and the remaining raster readers accept truncated files silently.
std::optional<ImageHeader> readHeader(const QByteArray& bytes);

// The size with its longest side brought down to `maxSide`, keeping the
// aspect ratio; smaller sizes are kept as they are.
QSize fittedSize(QSize size, int maxSide);

// Decodes image 0 upright (the orientation tag applied), scales it down to
// `maxSide` and encodes it as JPEG of `quality` (0-100). The caller has
// checked `header`'s size. A truncated or undecodable picture fails with
// cannotDecodeContentData.
Outcome<QByteArray> makeJpeg(const QByteArray& bytes, const ImageHeader& header, int maxSide,
                             int quality);

}  // namespace ImageThumbnail
}  // namespace orvanta
