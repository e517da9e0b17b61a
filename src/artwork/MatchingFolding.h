#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace orvanta::CatalogMatching::Folding {

// Full Unicode lower case (root locale, so no Turkish dotless i surprises).
QString lowerCased(const QString& text);

// Letter case and diacritics folded away: full case folding, then every
// non-spacing mark of the canonical decomposition dropped ("Émile" and
// "emile", "Й" and "и" fold alike).
QString foldedCaseAndDiacritics(const QString& text);

// Diacritics only; letter case stays.
QString foldedDiacritics(const QString& text);

// Letters, marks and numbers. Marks count so that a spacing vowel sign stays
// inside its word instead of splitting it.
bool isWordCharacter(char32_t scalar);

// The runs of word characters in `text`, in order, none of them empty.
QStringList words(QStringView text);

// The same runs joined by single blanks.
QString joinedWords(QStringView text);

// Number of Unicode scalars (a surrogate pair counts once).
qsizetype scalarCount(QStringView text);

}  // namespace orvanta::CatalogMatching::Folding
