#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace orvanta {

// A name cut off by a byte limit in the middle of a two-byte Cyrillic letter:
// only the letter's first UTF-8 byte survived, read as "Ð" or "Ñ".
struct TruncatedName {
    QString prefix;         // the repaired text before the cut letter
    std::uint8_t lead = 0;  // the cut letter's first UTF-8 byte: 0xD0 or 0xD1

    friend bool operator==(const TruncatedName&, const TruncatedName&) = default;
};

// Repair and normalisation of titles and artist names from stream metadata
// and feeds. Pure functions; none fails, text that cannot be repaired is left
// as it was. Safe to call from any thread.
namespace RadioMetadataText {

// The field trimmed and, where it is recognisably damaged, repaired: UTF-8
// read as Latin-1 or Windows-1252, or Windows-1251 read as Latin-1. A cut
// name is returned trimmed but otherwise unchanged. May be empty.
QString clean(const QString& text);

// The text with UTF-8 that was decoded as Latin-1 or Windows-1252 decoded
// properly, as a whole or word by word; otherwise the input unchanged.
QString repairMojibake(const QString& text);

// The cut name in `text`, if its last character is the surviving first byte
// of a Cyrillic letter after a damaged Cyrillic word.
std::optional<TruncatedName> truncatedName(const QString& text);

// Whether `candidate` is the complete form of the cut name: the cut letter's
// first byte matches and the rest equals the prefix regardless of case.
bool completes(const QString& candidate, const TruncatedName& name);

// The key under which two fields count as the same: the clean form,
// canonically composed, with whitespace runs collapsed to one blank. Letter
// case is kept.
QString comparisonKey(const QString& text);

}  // namespace RadioMetadataText
}  // namespace orvanta
