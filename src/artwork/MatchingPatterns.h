#pragma once

#include <QRegularExpression>

// The regular expressions of catalog matching, compiled once. Unicode-aware:
// \s, \b and case-insensitivity treat Cyrillic like Latin. Compiled eagerly
// (optimize), so concurrent matching from several threads is safe.
namespace orvanta::CatalogMatching::MatchingPatterns {

// A bracketed featuring part with the blanks before it: " (feat. X)".
const QRegularExpression& featuringPart();
// The same part without the blanks before it; the first is the one used.
const QRegularExpression& featuredPerformers();
// Brackets and featuring words inside such a part.
const QRegularExpression& featuringMarkup();
// One pair of round or square brackets with no bracket of its kind inside.
const QRegularExpression& innermostBracket();
// A trailing bracketed or dash-separated part naming an edit or a mash-up.
const QRegularExpression& editEnding();
// What separates performers in an artist text.
const QRegularExpression& artistSeparator();
// "vs" or "versus" between names.
const QRegularExpression& versus();

}  // namespace orvanta::CatalogMatching::MatchingPatterns
