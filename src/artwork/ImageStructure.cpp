#include "artwork/ImageStructure.h"

#include <algorithm>
#include <cstdint>

namespace orvanta::ImageStructure {

namespace {

std::uint8_t byteAt(QByteArrayView data, qsizetype index) {
    return static_cast<std::uint8_t>(data[index]);
}

bool isStandaloneJpegMarker(std::uint8_t marker) {
    // TEM and the restart markers carry no length field.
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Skips entropy-coded data after a scan header. Inside it 0xFF is followed by
// a stuffed zero or a restart marker; anything else starts the next marker.
// Returns the position of that marker's 0xFF, or -1 at the end of the data.
qsizetype skipEntropyCodedData(QByteArrayView data, qsizetype position) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(data.data());
    const auto* end = begin + data.size();
    const auto* cursor = begin + position;
    for (;;) {
        cursor = std::find(cursor, end, std::uint8_t(0xFF));
        if (cursor == end || cursor + 1 == end)
            return -1;
        const std::uint8_t next = cursor[1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            cursor += 2;
            continue;
        }
        return cursor - begin;
    }
}

}  // namespace

bool isCompleteJpeg(QByteArrayView data) {
    const qsizetype size = data.size();
    if (size < 4 || byteAt(data, 0) != 0xFF || byteAt(data, 1) != 0xD8)
        return false;
    qsizetype position = 2;
    while (position < size) {
        if (byteAt(data, position) != 0xFF)
            return false;
        // Any number of fill bytes may precede a marker.
        while (position < size && byteAt(data, position) == 0xFF)
            ++position;
        if (position >= size)
            return false;
        const std::uint8_t marker = byteAt(data, position++);
        if (marker == 0xD9)
            return true;
        if (marker == 0x00 || marker == 0xD8)
            return false;
        if (isStandaloneJpegMarker(marker))
            continue;
        if (position + 2 > size)
            return false;
        const qsizetype length =
            (qsizetype(byteAt(data, position)) << 8) | byteAt(data, position + 1);
        if (length < 2 || position + length > size)
            return false;
        position += length;
        if (marker == 0xDA) {
            position = skipEntropyCodedData(data, position);
            if (position < 0)
                return false;
        }
    }
    return false;
}

bool hasCompleteFirstGifImage(QByteArrayView data) {
    const qsizetype size = data.size();
    constexpr qsizetype headerSize = 6;
    constexpr qsizetype screenDescriptorSize = 7;
    if (size < headerSize + screenDescriptorSize)
        return false;
    if (!data.startsWith("GIF87a") && !data.startsWith("GIF89a"))
        return false;
    auto colourTableSize = [](std::uint8_t packed) -> qsizetype {
        return (packed & 0x80) ? 3 * (qsizetype(1) << ((packed & 0x07) + 1)) : 0;
    };
    qsizetype position = headerSize + screenDescriptorSize;
    position += colourTableSize(byteAt(data, headerSize + 4));

    // Walks a chain of data sub-blocks up to and past its empty terminator.
    auto skipSubBlocks = [&]() -> bool {
        for (;;) {
            if (position >= size)
                return false;
            const qsizetype length = byteAt(data, position++);
            if (length == 0)
                return true;
            position += length;
        }
    };

    for (;;) {
        if (position >= size)
            return false;
        const std::uint8_t introducer = byteAt(data, position++);
        if (introducer == 0x21) {
            ++position;  // the extension's label
            if (!skipSubBlocks())
                return false;
        } else if (introducer == 0x2C) {
            constexpr qsizetype imageDescriptorSize = 9;
            if (position + imageDescriptorSize > size)
                return false;
            const std::uint8_t packed = byteAt(data, position + imageDescriptorSize - 1);
            position += imageDescriptorSize + colourTableSize(packed);
            ++position;  // the LZW minimum code size
            return skipSubBlocks();
        } else {
            // The trailer before any image, or something that is no GIF block.
            return false;
        }
    }
}

}  // namespace orvanta::ImageStructure
