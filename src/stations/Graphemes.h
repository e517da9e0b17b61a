#pragma once

#include <QString>

namespace orvanta {

// The number of characters as the user sees them (extended grapheme
// clusters): an emoji with modifiers or a flag counts once.
qsizetype graphemeCount(const QString& text);

}  // namespace orvanta
