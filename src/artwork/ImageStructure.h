#pragma once

#include <QByteArrayView>

namespace orvanta::ImageStructure {

// Qt's JPEG and GIF readers quietly finish a cut-off file with grey or
// missing pixels and report success. These walks over the file structure
// tell a whole picture from a truncated one without decoding anything.

// True when the JPEG's markers lead, through every scan, to the end-of-image
// marker. Data after that marker is ignored.
bool isCompleteJpeg(QByteArrayView data);

// True when the GIF's first image has all its data blocks, up to the
// terminating empty block. Later frames are not looked at.
bool hasCompleteFirstGifImage(QByteArrayView data);

}  // namespace orvanta::ImageStructure
