#include "engine/ICYAudioStream.h"

#include <QStringDecoder>

namespace orvanta {

qint64 ICYAudioStream::intervalFromHeader(const std::optional<QByteArray>& header) {
    if (!header)
        return 0;
    const QByteArray text = *header;
    // Strict decimal: an optional sign and digits only, nothing around them.
    qsizetype index = 0;
    if (index < text.size() && (text[index] == '+' || text[index] == '-'))
        ++index;
    if (index == text.size())
        return 0;
    for (qsizetype i = index; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : 0;
}

std::optional<QString> ICYAudioStream::parseStreamTitle(const QByteArray& block) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(block);
    if (utf8.hasError())
        text = QString::fromLatin1(block);
    static const QString key = QStringLiteral("StreamTitle='");
    const qsizetype keyAt = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (keyAt < 0)
        return std::nullopt;
    const qsizetype valueAt = keyAt + key.size();
    const qsizetype endAt = text.indexOf(QStringLiteral("';"), valueAt);
    if (endAt < 0)
        return std::nullopt;
    return text.mid(valueAt, endAt - valueAt);
}

}  // namespace orvanta
