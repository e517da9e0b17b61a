#include "artwork/CyrillicTransliteration.h"

#include <iterator>

namespace orvanta::CatalogMatching {

namespace {

// One letter and its Latin spelling; "" where the letter is written as
// nothing (the soft and hard signs).
struct Spelling {
    char16_t letter;
    const char* latin;
};

constexpr Spelling generalTable[] = {
    {u'а', "a"}, {u'б', "b"},  {u'в', "v"},  {u'г', "h"},  {u'ґ', "g"},  {u'д', "d"},
    {u'е', "e"}, {u'є', "ie"}, {u'ж', "zh"}, {u'з', "z"},  {u'и', "y"},  {u'і', "i"},
    {u'ї', "i"}, {u'й', "i"},  {u'к', "k"},  {u'л', "l"},  {u'м', "m"},  {u'н', "n"},
    {u'о', "o"}, {u'п', "p"},  {u'р', "r"},  {u'с', "s"},  {u'т', "t"},  {u'у', "u"},
    {u'ф', "f"}, {u'х', "kh"}, {u'ц', "ts"}, {u'ч', "ch"}, {u'ш', "sh"}, {u'щ', "shch"},
    {u'ь', ""},  {u'ю', "iu"}, {u'я', "ia"}, {u'ы', "y"},  {u'э', "e"},  {u'ё', "io"},
    {u'ъ', ""},
};
static_assert(std::size(generalTable) == 37);

constexpr Spelling wordInitialTable[] = {
    {u'є', "ye"}, {u'ї', "yi"}, {u'й', "y"}, {u'ю', "yu"}, {u'я', "ya"},
};

const char* lookUp(const auto& table, char16_t letter) {
    for (const Spelling& row : table) {
        if (row.letter == letter)
            return row.latin;
    }
    return nullptr;
}

}  // namespace

QString transliteratedWord(QStringView word) {
    QString result;
    result.reserve(word.size() + 4);
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t letter = word[i].unicode();
        const char* latin = nullptr;
        if (letter >= 0x0400 && letter <= 0x04FF) {
            if (i == 0)
                latin = lookUp(wordInitialTable, letter);
            if (!latin)
                latin = lookUp(generalTable, letter);
        }
        if (latin)
            result += QLatin1StringView(latin);
        else
            result += word[i];
    }
    return result;
}

}  // namespace orvanta::CatalogMatching
