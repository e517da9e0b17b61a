#include "artwork/MatchingPatterns.h"

#include <QtGlobal>

namespace orvanta::CatalogMatching::MatchingPatterns {

namespace {

QRegularExpression compiled(const QString& pattern) {
    QRegularExpression expression(pattern, QRegularExpression::UseUnicodePropertiesOption);
    if (!expression.isValid())
        qFatal("matching pattern does not compile: %s", qPrintable(expression.errorString()));
    expression.optimize();
    return expression;
}

}  // namespace

const QRegularExpression& featuringPart() {
    static const QRegularExpression pattern = compiled(
        QStringLiteral(R"((?i)\s*[\(\[]\s*(feat\.?|ft\.?|featuring|with)\s+[^\)\]]+[\)\]])"));
    return pattern;
}

const QRegularExpression& featuredPerformers() {
    static const QRegularExpression pattern = compiled(
        QStringLiteral(R"((?i)[\(\[]\s*(?:feat\.?|ft\.?|featuring|with)\s+([^\)\]]+)[\)\]])"));
    return pattern;
}

// The featuring word must end at a word boundary: without it "feat" would
// eat the front of "featuring" (leaving "uring") and "with" the front of a
// name such as "Withers".
const QRegularExpression& featuringMarkup() {
    static const QRegularExpression pattern =
        compiled(QStringLiteral(R"((?i)[\(\)\[\]]|\b(?:feat|ft|featuring|with)\b\.?)"));
    return pattern;
}

const QRegularExpression& innermostBracket() {
    static const QRegularExpression pattern =
        compiled(QStringLiteral(R"(\([^()]*\)|\[[^\[\]]*\])"));
    return pattern;
}

const QRegularExpression& editEnding() {
    static const QRegularExpression pattern = compiled(QStringLiteral(
        R"((?i)\s*(?:\([^()]*\b(?:edit|mash[\s-]?up)\b[^()]*\))"
        R"(|\[[^\[\]]*\b(?:edit|mash[\s-]?up)\b[^\[\]]*\])"
        R"(|\s[-\x{2013}\x{2014}]\s+[^()\[\]]*\b(?:edit|mash[\s-]?up)\b[^()\[\]]*)\s*$)"));
    return pattern;
}

const QRegularExpression& artistSeparator() {
    static const QRegularExpression pattern = compiled(QStringLiteral(
        R"((?i)\s*(?:&|,|;)\s*)"
        R"(|\s+(?:feat\.?|ft\.?|featuring|with|vs\.?|versus|and|\x{0442}\x{0430}|x)\s+)"));
    return pattern;
}

const QRegularExpression& versus() {
    static const QRegularExpression pattern =
        compiled(QStringLiteral(R"((?i)\s+(?:vs\.?|versus)\s+)"));
    return pattern;
}

}  // namespace orvanta::CatalogMatching::MatchingPatterns
