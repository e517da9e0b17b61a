#include "stations/Graphemes.h"

#include <QTextBoundaryFinder>

namespace orvanta {

qsizetype graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

}  // namespace orvanta
