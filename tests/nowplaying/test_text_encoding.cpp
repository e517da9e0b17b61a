#include "nowplaying/TextEncoding.h"
#include "nowplaying/UnicodeText.h"

#include <QTest>

using namespace orvanta;
using namespace Qt::Literals::StringLiterals;
using TextEncoding::Encoding;

Q_DECLARE_METATYPE(orvanta::TextEncoding::Encoding)

namespace {

QByteArray allBytes() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(static_cast<char>(b));
    return bytes;
}

}  // namespace

class TextEncodingTest : public QObject {
    Q_OBJECT

private slots:
    void singleByteEncodingsRoundTripEveryByte_data() {
        QTest::addColumn<Encoding>("encoding");
        QTest::newRow("Latin-1") << Encoding::isoLatin1;
        QTest::newRow("Windows-1252") << Encoding::windows1252;
        QTest::newRow("Windows-1251") << Encoding::windows1251;
    }
    void singleByteEncodingsRoundTripEveryByte() {
        QFETCH(Encoding, encoding);
        const std::optional<QString> text = TextEncoding::decodeStrictly(allBytes(), encoding);
        QVERIFY(text);
        QCOMPARE(text->size(), 256);
        QCOMPARE(TextEncoding::encodeLossless(*text, encoding), std::optional(allBytes()));
    }

    // No best-fit substitutes: whatever a converter encodes decodes back to
    // the very same character, and everything else is refused.
    void singleByteEncodingsAreLossless_data() { singleByteEncodingsRoundTripEveryByte_data(); }
    void singleByteEncodingsAreLossless() {
        QFETCH(Encoding, encoding);
        int encodable = 0;
        for (char32_t c = 1; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const QString one(QChar(static_cast<char16_t>(c)));
            const std::optional<QByteArray> bytes = TextEncoding::encodeLossless(one, encoding);
            if (!bytes)
                continue;
            ++encodable;
            QCOMPARE(bytes->size(), 1);
            QCOMPARE(TextEncoding::decodeStrictly(*bytes, encoding), std::optional(one));
        }
        QCOMPARE(encodable, 255);
    }

    void encodingRefusesWhatItCannotHold_data() {
        QTest::addColumn<Encoding>("encoding");
        QTest::addColumn<QString>("text");
        QTest::newRow("Latin-1: euro sign") << Encoding::isoLatin1 << u"100€"_s;
        QTest::newRow("Latin-1: Cyrillic") << Encoding::isoLatin1 << u"Київ"_s;
        QTest::newRow("Windows-1252: C1 control 0x80") << Encoding::windows1252 << u"a\u0080"_s;
        QTest::newRow("Windows-1252: fullwidth A (no best fit)")
            << Encoding::windows1252 << u"\uFF21"_s;
        QTest::newRow("Windows-1251: Latin-1 letter") << Encoding::windows1251 << u"é"_s;
        QTest::newRow("default-ignorable joiner") << Encoding::windows1252 << u"a\u034Fb"_s;
        QTest::newRow("zero-width space") << Encoding::isoLatin1 << u"a\u200Bb"_s;
        QTest::newRow("lone surrogate") << Encoding::isoLatin1 << QString(QChar(0xD800));
    }
    void encodingRefusesWhatItCannotHold() {
        QFETCH(Encoding, encoding);
        QFETCH(QString, text);
        QCOMPARE(TextEncoding::encodeLossless(text, encoding), std::nullopt);
    }

    void windows1252ReadsItsPunctuationAndKeepsUndefinedBytes() {
        QCOMPARE(TextEncoding::decodeStrictly("\x80\x85\x92\x81", Encoding::windows1252),
                 std::optional(u"€…’\u0081"_s));
    }

    void windows1251ReadsUkrainian() {
        QCOMPARE(TextEncoding::decodeStrictly("\xCA\xE8\xBF\xE2 \xB4\xE0\xED\xEE\xEA",
                                              Encoding::windows1251),
                 std::optional(u"Київ ґанок"_s));
    }

    void utf8ReadsValidText() {
        const TextEncoding::Utf8Reading reading = TextEncoding::readUtf8(u"Київ 🎵"_s.toUtf8());
        QCOMPARE(reading.text, std::optional(u"Київ 🎵"_s));
        QCOMPARE(reading.invalidOffset, -1);
        QCOMPARE(TextEncoding::readUtf8("").text, std::optional(QString()));
    }

    void utf8ReportsInvalidBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<QByteArray>("invalid");
        QTest::newRow("cut two-byte letter")
            << QByteArray("ab\xD0") << qsizetype(2) << QByteArray("\xD0");
        QTest::newRow("stray continuation")
            << QByteArray("x\x80y") << qsizetype(1) << QByteArray("\x80");
        QTest::newRow("overlong NUL")
            << QByteArray("ab\xC0\x80", 4) << qsizetype(2) << QByteArray("\xC0");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xED\xA0\x80") << qsizetype(0) << QByteArray("\xED");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << qsizetype(0) << QByteArray("\xF4");
        QTest::newRow("Latin-1 byte")
            << QByteArray("caf\xE9!") << qsizetype(3) << QByteArray("\xE9");
    }
    void utf8ReportsInvalidBytes() {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, offset);
        QFETCH(QByteArray, invalid);
        const TextEncoding::Utf8Reading reading = TextEncoding::readUtf8(bytes);
        QCOMPARE(reading.text, std::nullopt);
        QCOMPARE(reading.invalidOffset, offset);
        QCOMPARE(reading.invalidBytes, invalid);
        QCOMPARE(TextEncoding::decodeStrictly(bytes, Encoding::utf8), std::nullopt);
    }

    void whitespaceIsUnicodeWhiteSpace_data() {
        QTest::addColumn<int>("scalar");
        QTest::addColumn<bool>("whitespace");
        QTest::newRow("blank") << 0x20 << true;
        QTest::newRow("tab") << 0x09 << true;
        QTest::newRow("line feed") << 0x0A << true;
        QTest::newRow("next line") << 0x85 << true;
        QTest::newRow("no-break space") << 0xA0 << true;
        QTest::newRow("line separator") << 0x2028 << true;
        QTest::newRow("ideographic space") << 0x3000 << true;
        QTest::newRow("zero-width space") << 0x200B << false;
        QTest::newRow("byte order mark") << 0xFEFF << false;
        QTest::newRow("Cyrillic letter") << 0x0416 << false;
    }
    void whitespaceIsUnicodeWhiteSpace() {
        QFETCH(int, scalar);
        QFETCH(bool, whitespace);
        QCOMPARE(UnicodeText::isWhitespace(static_cast<char32_t>(scalar)), whitespace);
    }

    void trimmingAndWords() {
        QCOMPARE(UnicodeText::trimmed(u"\u00A0\n Гурт\u3000 \u2028"_s), u"Гурт"_s);
        const QList<QStringView> words = UnicodeText::words(u"\tОкеан\u00A0\u00A0Ельзи  x "_s);
        QCOMPARE(words.size(), 3);
        QCOMPARE(words[0], u"Океан"_s);
        QCOMPARE(words[1], u"Ельзи"_s);
        QCOMPARE(UnicodeText::collapseWhitespace(u" a\u00A0 b\tc "_s), u"a b c"_s);
        QCOMPARE(UnicodeText::collapseWhitespace(u"a b"_s), u"a b"_s);
        QCOMPARE(UnicodeText::collapseWhitespace(u"   "_s), QString());
    }

    void compositionAndCaselessEquality() {
        QCOMPARE(UnicodeText::composed(u"Cafe\u0301 і\u0308"_s), u"Café ї"_s);
        QVERIFY(UnicodeText::equalIgnoringCase(u"ПРИВІТ Ї"_s, u"привіт ї"_s));
        QVERIFY(UnicodeText::equalIgnoringCase(u"STRASSE"_s, u"straße"_s));
        QVERIFY(UnicodeText::equalIgnoringCase(u"CAFE\u0301"_s, u"café"_s));
        QVERIFY(!UnicodeText::equalIgnoringCase(u"cafe"_s, u"café"_s));
    }

    void lastCharacterIsAGraphemeCluster_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("start");
        QTest::newRow("plain") << u"abc"_s << qsizetype(2);
        QTest::newRow("combining mark") << u"ab\u0438\u0306"_s << qsizetype(2);
        QTest::newRow("surrogate pair") << u"a🎵"_s << qsizetype(1);
        QTest::newRow("flag") << u"a🇺🇦"_s << qsizetype(1);
        QTest::newRow("empty") << QString() << qsizetype(0);
    }
    void lastCharacterIsAGraphemeCluster() {
        QFETCH(QString, text);
        QFETCH(qsizetype, start);
        QCOMPARE(UnicodeText::lastCharacterStart(text), start);
    }
};

QTEST_GUILESS_MAIN(TextEncodingTest)
#include "test_text_encoding.moc"
