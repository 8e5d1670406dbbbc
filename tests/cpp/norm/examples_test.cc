// Worked examples and edge cases of the canonical form, the transliterations,
// look-alike folding and the phonetic key, as one table.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "vorlane/norm/normalize.h"
#include "vorlane/norm/phonetic.h"
#include "vorlane/norm/script.h"

namespace vorlane::norm {
namespace {

enum class Fn { kNormalize, kCyrLat, kCyrLatEn, kLatCyr, kHomoglyphs, kPhonetic };

struct Example {
  Fn fn;
  std::string_view input;
  std::string_view expected;
};

std::string apply(Fn fn, std::string_view text) {
  switch (fn) {
    case Fn::kNormalize: return normalize(text);
    case Fn::kCyrLat: return translit_cyr_lat(text);
    case Fn::kCyrLatEn: return translit_cyr_lat_en(text);
    case Fn::kLatCyr: return translit_lat_cyr(text);
    case Fn::kHomoglyphs: return fold_homoglyphs(text);
    case Fn::kPhonetic: return phonetic_key(text);
  }
  return {};
}

const char* name(Fn fn) {
  switch (fn) {
    case Fn::kNormalize: return "normalize";
    case Fn::kCyrLat: return "translit_cyr_lat";
    case Fn::kCyrLatEn: return "translit_cyr_lat_en";
    case Fn::kLatCyr: return "translit_lat_cyr";
    case Fn::kHomoglyphs: return "fold_homoglyphs";
    case Fn::kPhonetic: return "phonetic_key";
  }
  return "?";
}

constexpr Fn N = Fn::kNormalize;

constexpr Example kExamples[] = {
    // Canonical form: worked examples.
    {N, "12-14 Rue de l'Église", "12 rue de l eglise"},
    {N, "Rue-de-la-Paix 3-5a", "rue de la paix 3a"},
    {N, "Block A-12", "block a12"},
    {N, "Bau-3", "bau 3"},
    {N, "Rue du 8-Mai-1945", "rue du 8 mai 1945"},
    {N, "x-12-a", "x12 a"},
    {N, "D-10115", "d10115"},
    {N, "75001Paris", "75001 paris"},
    {N, "O'Connell St.", "o connell st"},
    {N, "Main St, Apt #4", "main st apt #4"},
    {N, "  Straße  ", "straße"},
    {N, "Łódź", "łodz"},
    {N, "ĐURĐEVAC", "durdevac"},
    {N, "İstanbul", "istanbul"},
    {N, "Smith–Jones", "smith–jones"},
    // Empty and separator-only texts.
    {N, "", ""},
    {N, " ,.;/()'`\t\n\r\v\f", ""},
    {N, "\U0001F3E0 \U0001F680\u2192", ""},
    {N, "-", ""},
    {N, "--", ""},
    // Hyphen rules, decided on the input characters.
    {N, "-12", "12"},
    {N, "12-", "12"},
    {N, "12-345", "12"},
    {N, "12-34-56", "12"},
    {N, "12-34-56b", "12b"},
    {N, "12-a", "12 a"},
    {N, "A-1", "a1"},
    {N, " A-1", "a1"},           // a space before the lone letter
    {N, "-A-1", "a1"},           // so is a hyphen
    {N, "É-12", "e12"},          // letters are Unicode letters
    {N, "AB-12", "ab 12"},
    {N, "１a-2", "１a 2"},        // a full-width digit counts as alphanumeric
    {N, "١a-2", "١a 2"},          // and so does an Arabic-Indic one
    {N, "１２-３", "１２ ３"},     // but neither forms a range
    {N, "12–14", "12–14"},       // only the hyphen-minus forms ranges
    // Digit runs.
    {N, "1234a", "1234 a"},
    {N, "123a", "123a"},
    {N, "12345 berlin", "12345 berlin"},
    {N, "1234É", "1234 e"},
    {N, "1234\u0301a", "1234 a"},  // the dropped mark is not seen by the split
    {N, "1234#a", "1234#a"},
    {N, "1234１a", "1234１a"},
    {N, "١٢٣٤a", "١٢٣٤a"},
    // Case and decomposition.
    {N, "İ", "i"},
    {N, "ΣΑΣ", "σασ"},             // no final sigma
    {N, "ệ", "e"},
    {N, "e\u0323\u0302", "e"},
    {N, "ŒUVRE Ø Þ ı æ", "œuvre ø þ ı æ"},
    {N, "Đđ", "dd"},
    {N, "ﬁ ² Ａ", "ﬁ ² ａ"},        // no compatibility decomposition
    {N, "ǅ", "ǆ"},
    {N, "한", "\u1112\u1161\u11AB"},
    {N, "\u212B", "a"},            // angstrom sign: lower-cases to å
    {N, "\u2260", "="},            // classified after decomposition
    {N, "a\u1FEFb", "a b"},        // Greek varia decomposes to the grave accent
    {N, "a\u037Eb", "a b"},        // Greek question mark decomposes to ';'
    // Separators beyond ASCII, and look-alikes that are not separators.
    {N, "a\u00A0b\u3000c\u0085d", "a b c d"},
    {N, "a\u200Bb\u200Dc\u202Ed\u2028e", "a b c d e"},
    {N, "a\u02BBb\u02BCc\u2018d\u2019e", "a b c d e"},
    {N, "5\u22123", "5 3"},         // minus sign
    {N, "a\U0001F600b", "a b"},
    {N, "a\uFE0Fb", "ab"},          // a variation selector is a mark: dropped
    {N, "\u201Cx\u201D", "\u201Cx\u201D"},
    {N, "A\"B:C&D+E_F!G?H[I]J{K}L*M", "a\"b:c&d+e_f!g?h[i]j{k}l*m"},
    {N, "\u2010\u2014", "\u2010\u2014"},
    {N, "a\xFF" "b", "a\uFFFDb"},    // ill-formed UTF-8 reads as U+FFFD

    // Transliterations.
    {Fn::kCyrLat, "љубљана", "ljubljana"},
    {Fn::kCyrLat, "щука", "ščuka"},
    {Fn::kCyrLat, "ђорђе џеј ћуп", "đorđe džej ćup"},
    {Fn::kCyrLat, "объезд", "obezd"},
    {Fn::kCyrLat, "йёѐѓєѕіїќѝў", "йёѐѓєѕіїќѝў"},
    {Fn::kCyrLat, "Москва", "Мoskva"},
    {Fn::kCyrLatEn, "щука", "shchuka"},
    {Fn::kCyrLatEn, "объезд", "obezd"},
    {Fn::kCyrLatEn, "Москва", "Мoskva"},
    {Fn::kCyrLatEn, "йё", "yyo"},
    {Fn::kCyrLatEn, "ўғқҳҷ", "ogqhj"},
    {Fn::kCyrLatEn, "ђјљґүңҕ", "ђјљґүңҕ"},
    {Fn::kCyrLatEn, "жцчшюя 12", "zhtschshyuya 12"},
    {Fn::kLatCyr, "shchukina", "щукина"},
    {Fn::kLatCyr, "maya", "мая"},
    {Fn::kLatCyr, "yalta", "ялта"},
    {Fn::kLatCyr, "kyiv", "кыив"},
    {Fn::kLatCyr, "Kiev", "Kиев"},
    {Fn::kLatCyr, "tsch", "тщ"},
    {Fn::kLatCyr, "ts", "тс"},
    {Fn::kLatCyr, "y ay 1y", "ы ай 1ы"},
    {Fn::kLatCyr, "zhukov khabarovsk", "жуков хабаровск"},
    {Fn::kLatCyr, "yoyuya", "ёюя"},
    {Fn::kLatCyr, "abcdefghijklmnopqrstuvwxz", "абкдефгхийклмнопкрстуввхз"},
    {Fn::kLatCyr, "ёлка é", "ёлка é"},
    {Fn::kLatCyr, "sh", "ш"},
    {Fn::kLatCyr, "s", "с"},

    // Look-alike folding.
    {Fn::kHomoglyphs, "мосkва", "москва"},
    {Fn::kHomoglyphs, "мocквa", "мocквa"},           // 3 Cyrillic, 3 Latin
    {Fn::kHomoglyphs, "moskva", "moskva"},
    {Fn::kHomoglyphs, "москва", "москва"},
    {Fn::kHomoglyphs, "мосkва  мосkва ", "москва  москва "},
    {Fn::kHomoglyphs, "ул Лeнина 7 abc", "ул Ленина 7 abc"},
    {Fn::kHomoglyphs, "мoсKва", "мосKва"},           // K counts but stays
    {Fn::kHomoglyphs, "мk", "мk"},
    {Fn::kHomoglyphs, "aeкк", "aeкк"},
    {Fn::kHomoglyphs, "ёлкa", "ёлка"},
    {Fn::kHomoglyphs, "abcehkmoptxy жжжжжжжжжжжжж", "abcehkmoptxy жжжжжжжжжжжжж"},
    {Fn::kHomoglyphs, "abcehkmoptxyжжжжжжжжжжжжж", "авсенкмортхужжжжжжжжжжжжж"},

    // Phonetic key.
    {Fn::kPhonetic, "hauptstrasse", "hoptstrosi"},
    {Fn::kPhonetic, "kiev", "kiv"},
    {Fn::kPhonetic, "kyiv", "kiv"},
    {Fn::kPhonetic, "moskva", "moskvo"},
    {Fn::kPhonetic, "москва", "moskvo"},
    {Fn::kPhonetic, "Москва", "мoskvo"},
    {Fn::kPhonetic, "quai", "koi"},
    {Fn::kPhonetic, "rue 11", "roi 1"},
    {Fn::kPhonetic, "Boulevard Haussmann", "bolivord hosmon"},
    {Fn::kPhonetic, "", ""},
    {Fn::kPhonetic, "a a", "o o"},                   // a space is never a repeat
    {Fn::kPhonetic, "xh wv qk łł", "h v k ł"},
    {Fn::kPhonetic, "Rue-de-la-Paix 3-5a", "roi di lo poih 3o"},
};

TEST(NormExamples, Table) {
  for (const Example& e : kExamples) {
    EXPECT_EQ(apply(e.fn, e.input), e.expected) << name(e.fn) << "(\"" << e.input << "\")";
  }
}

TEST(NormExamples, EmbeddedNulIsASeparator) {
  EXPECT_EQ(normalize(std::string_view("a\0b", 3)), "a b");
  EXPECT_EQ(normalize(std::string_view("\0", 1)), "");
}

}  // namespace
}  // namespace vorlane::norm
