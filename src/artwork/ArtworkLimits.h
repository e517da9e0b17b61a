#pragma once

#include <QtGlobal>

namespace orvanta::ArtworkLimits {

// What a network image may cost before it is refused: the body is counted as
// it arrives, and the pixel size is read from the header before decoding.
inline constexpr qint64 maximumDownloadBytes = 5'242'880;
inline constexpr int maximumImageSide = 4096;

// Everything handed to the views is a JPEG no larger than this on its
// longest side.
inline constexpr int thumbnailMaxSide = 768;
inline constexpr int downloadJpegQuality = 90;
inline constexpr int photoJpegQuality = 88;

// A photo the user picks is only scaled down, whatever its size, but its
// file and its pixel count are still bounded: the decoder's working memory
// grows with the pixel count (a progressive JPEG keeps every coefficient),
// and a small file can claim an enormous picture.
inline constexpr qint64 maximumPhotoInputBytes = 41'943'040;
inline constexpr qint64 maximumPhotoPixels = 100'000'000;
// JPEG decodes straight to an eighth of each side, so it may be larger.
inline constexpr qint64 maximumJpegPhotoPixels = 400'000'000;

// Every stored photo file, read or written.
inline constexpr qint64 maximumPhotoFileBytes = 2'097'152;

inline constexpr int refreshedImageCapacity = 32;

// The loader's HTTP cache on disk, and the memory kept for recent results.
inline constexpr qint64 httpCacheDiskBytes = 52'428'800;
inline constexpr qint64 memoryCacheBytes = 8'388'608;

}  // namespace orvanta::ArtworkLimits
