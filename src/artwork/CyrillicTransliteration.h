#pragma once

#include <QString>
#include <QStringView>

namespace orvanta::CatalogMatching {

// Ukrainian and Russian lower-case letters in the Latin spelling that music
// catalogs use for performers (the Ukrainian national system, with є, ї, й,
// ю and я written differently at the start of a word). Every other character
// stays as it is; upper-case letters are not handled, so lower the text
// first. `word` should be canonically composed so that "й" is one scalar.
QString transliteratedWord(QStringView word);

}  // namespace orvanta::CatalogMatching
