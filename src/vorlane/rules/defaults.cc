// The built-in rules every Rules value starts from. The tables are kept
// word for word and in their order: list order is visible to the readers,
// and answers depend on exactly this content. A few entries can never match
// a single canonical word as written (a word set entry with a space in it,
// say); they stay as they are rather than being "corrected" into words that
// would change which queries are rewritten.
#include <string_view>

#include "vorlane/rules/rules.h"

namespace vorlane::rules {
namespace {

struct TextPair {
  std::string_view a, b;
};

constexpr TextPair kCommuneAliases[] = {
    {"den haag", "s gravenhage"},
    {"den bosch", "s hertogenbosch"},
    {"reggio emilia", "reggio nell emilia"},
};

constexpr TextPair kCityAliases[] = {
    {"спб", "санкт петербург"},
    {"мск", "москва"},
    {"екб", "екатеринбург"},
    {"нск", "новосибирск"},
    {"питер", "санкт петербург"},
    {"bg", "beograd"},
    {"ns", "novi sad"},
    {"amsterdam zo", "amsterdam"},
    {"moscow", "москва"},
    {"saint petersburg", "санкт петербург"},
    {"st petersburg", "санкт петербург"},
    {"rome", "roma"},
    {"milan", "milano"},
    {"naples", "napoli"},
    {"turin", "torino"},
    {"florence", "firenze"},
    {"venice", "venezia"},
    {"genoa", "genova"},
    {"padua", "padova"},
};

constexpr TextPair kPhraseReplacements[] = {
    {"p zza", "piazza"},
    {"c so", "corso"},
    {"v le", "viale"},
    {"пр кт", "проспект"},
    {"б р", "бульвар"},
    {"пр т", "проспект"},
};

constexpr std::string_view kCapitals[] = {
    "москва", "paris",   "roma",         "amsterdam",       "beograd",
    "toshkent", "ташкент", "s gravenhage", "санкт петербург",
};

constexpr std::string_view kRussianStreetTypes[] = {
    "улица",  "проспект", "переулок", "набережная", "шоссе", "бульвар",
    "площадь", "проезд",  "аллея",    "тупик",      "квартал", "микрорайон",
};

constexpr std::string_view kFrenchItalianStreetTypes[] = {
    "rue",   "avenue", "boulevard", "place", "impasse", "allee",  "chemin",
    "route", "cours",  "quai",      "passage", "square", "via",   "viale",
    "corso", "piazza", "largo",     "vicolo", "strada",
};

constexpr std::string_view kOtherStreetTypes[] = {
    "straat", "laan",    "weg",    "plein",  "gracht", "dijk",
    "kade",   "steeg",   "singel", "hof",    "ulica",  "bulevar",
    "trg",    "put",     "kochasi", "kocha", "kuchasi", "mavze",
    "mavzesi", "dahasi", "daha",   "prospekti", "piazzale", "salita",
};

constexpr std::string_view kHousingEstateWords[] = {
    "массив", "massiv", "мкр", "микрорайон", "квартал", "kvartal",
    "жилой",  "residential", "комплекс", "complex", "жк",
};

constexpr std::string_view kCityDesignators[] = {
    "г", "гор", "город", "gorod", "shahri", "sh",
};

constexpr std::string_view kCityDesignatorsAfterHouse[] = {"город", "grad", "sh"};

constexpr std::string_view kRegionDesignators[] = {
    "обл",   "область", "области", "край",   "края",   "респ",    "республика",
    "район", "района",  "р н",     "tumani", "tuman", "viloyat", "viloyati",
};

constexpr std::string_view kInnerCountryNames[] = {
    "france",  "francia",  "frankrijk", "франция",    "italia",     "italy",
    "italie",  "италия",   "srbija",    "serbia",     "сербия",     "србија",
    "россия",  "russia",   "рф",        "узбекистан", "uzbekistan", "ozbekiston",
    "nederland", "netherlands", "holland", "нидерланды",
};

constexpr std::string_view kTrailingCountryWords[] = {
    "france",     "francia",    "франция",  "nederland", "netherlands",
    "holland",    "нидерланды", "italia",   "italy",     "italie",
    "италия",     "srbija",     "serbia",   "сербия",    "србија",
    "россия",     "russia",     "рф",       "федерация", "российская",
    "uzbekistan", "узбекистан", "ozbekiston", "europe",  "европа",
};

constexpr std::string_view kSettlementTypeWords[] = {
    "территория", "тер",  "муниципальный", "округ", "поселение",
    "городской",  "деревня", "дер",        "село",  "поселок",
    "пос",        "рп",   "пгт",           "аул",   "кишлак",
};

constexpr std::string_view kGardenAreaWords[] = {
    "снт",    "днп",     "тсн",    "сдт",        "ст",  "садовое",
    "дачное", "некоммерческое", "товарищество", "массив", "микрорайон", "мкр",
    "квартал", "город",  "обл",    "область",    "край", "район",
};

constexpr std::string_view kArrondissementCities[] = {"paris", "lyon", "marseille"};

constexpr std::string_view kDistrictWords[] = {
    "квартал", "kvartal", "mavze", "mavzesi", "даха",       "daha",
    "dahasi",  "массив",  "massiv", "мкр",    "микрорайон",
};

template <size_t N>
void add_pairs(Rules& rules, uint8_t kind, const TextPair (&pairs)[N]) {
  for (const TextPair& p : pairs) rules.add(kind, std::string(p.a), std::string(p.b));
}

template <size_t N>
void add_words(Rules& rules, uint8_t kind, const std::string_view (&words)[N]) {
  for (std::string_view w : words) rules.add(kind, std::string(w), std::string());
}

}  // namespace

Rules defaults() {
  Rules rules;
  add_pairs(rules, 1, kCommuneAliases);
  add_pairs(rules, 2, kCityAliases);
  add_pairs(rules, 3, kPhraseReplacements);
  add_words(rules, 4, kCapitals);
  add_words(rules, 5, kRussianStreetTypes);
  add_words(rules, 16, kFrenchItalianStreetTypes);
  add_words(rules, 17, kOtherStreetTypes);
  add_words(rules, 6, kHousingEstateWords);
  add_words(rules, 7, kCityDesignators);
  add_words(rules, 8, kCityDesignatorsAfterHouse);
  add_words(rules, 9, kRegionDesignators);
  add_words(rules, 10, kInnerCountryNames);
  add_words(rules, 11, kTrailingCountryWords);
  add_words(rules, 12, kSettlementTypeWords);
  add_words(rules, 13, kGardenAreaWords);
  add_words(rules, 14, kArrondissementCities);
  add_words(rules, 15, kDistrictWords);
  return rules;
}

}  // namespace vorlane::rules
