// The text side of structured input: settings, comma-field retries, the
// city-less shape, number labels, the trailing-region recogniser and the
// hyphenated postcode rewrite, each under the settings it names.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vorlane/query/field_retries.h"
#include "vorlane/query/field_text.h"
#include "vorlane/query/postal_retry.h"
#include "vorlane/rules/rules.h"

namespace vorlane::query {
namespace {

using Params = std::initializer_list<std::pair<const char*, const char*>>;

// Built-in rules with these kind-23 parameters, installed while alive.
class WithParams {
 public:
  explicit WithParams(Params params) : rules_(rules::defaults()) {
    for (const auto& [key, value] : params) rules_.add(23, key, value);
    scope_.emplace(rules_);
  }

 private:
  rules::Rules rules_;
  std::optional<rules::CurrentRulesScope> scope_;
};

const Params kMadrid = {{"enabled", "1"}, {"regions", "madrid"}, {"forms", "comma"},
                        {"postal_digits", "5"}, {"postal_split", "2"}};
const Params kBrazil = {{"enabled", "1"}, {"regions", "SP RJ"}, {"forms", "comma hyphen"},
                        {"postal_digits", "8"}, {"postal_split", "5"}};

TEST(FieldText, UnsignedParameters) {
  const std::vector<std::pair<std::string, std::optional<uint64_t>>> cases = {
      {"5", 5}, {"+5", 5}, {"007", 7}, {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", std::nullopt}, {"", std::nullopt}, {"+", std::nullopt},
      {"-5", std::nullopt}, {" 5", std::nullopt}, {"5 ", std::nullopt}, {"0x5", std::nullopt}};
  for (const auto& [text, value] : cases) EXPECT_EQ(parse_unsigned_parameter(text), value) << text;
  EXPECT_TRUE(is_region_word("SP RJ", "sp"));
  EXPECT_FALSE(is_region_word("S\xC3\x83O", "s\xC3\xA3o"));  // no folding beyond ASCII
  EXPECT_FALSE(is_region_word("SP RJ", "SP RJ"));
}

TEST(FieldRetries, ExactLists) {
  WithParams p(kMadrid);
  auto a = address_field_retries("Calle Mayor, n\u00BA 5, Madrid, Madrid");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->commune, "madrid");
  EXPECT_EQ(a->house, 5u);
  EXPECT_EQ(a->retries, (std::vector<std::string>{"Calle Mayor, 5, Madrid, Madrid",
                                                  "Calle Mayor, 5, Madrid", "", "",
                                                  "Calle Mayor, 5, Madrid - Madrid", "", "", "",
                                                  "", ""}));
  a = address_field_retries("Calle Mayor 5, Madrid, Madrid");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->retries, (std::vector<std::string>{
                            "Calle Mayor 5, Madrid, Madrid", "Calle Mayor 5, Madrid", "", "",
                            "Calle Mayor 5, Madrid - Madrid", "", "", "", "", "",
                            "Calle Mayor, 5, Madrid, Madrid", "Calle Mayor, 5, Madrid"}));
  a = address_field_retries("Calle Mayor, 5, Madrid, 28013, Madrid");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->commune, "madrid");
  EXPECT_EQ(std::vector<std::string>(a->retries.begin() + 6, a->retries.begin() + 9),
            (std::vector<std::string>{"", "Calle Mayor, 5, Madrid, 28-013, Madrid",
                                      "Calle Mayor, 5, Madrid, 28, Madrid"}));
  EXPECT_EQ(address_field_retries("Calle Mayor, 5, Saint-Denis, Madrid")->commune, "saint denis");
  EXPECT_TRUE(address_field_retries("Calle Mayor, 5, L'Hospitalet, Madrid"));
  for (const char* q : {"Calle Mayor, 5, Madrid", "Calle Mayor, 5, Madrid 2, Madrid",
                        "Calle Mayor, 5, Sta. Cruz, Madrid", "Calle Mayor, 123456, Madrid, Madrid"}) {
    EXPECT_FALSE(address_field_retries(q)) << q;
  }
}

TEST(FieldRetries, SettingsSwitchEverythingOff) {
  for (const Params& params : {Params{{"enabled", "2"}, {"regions", "madrid"}, {"forms", "comma"},
                                      {"postal_digits", "5"}, {"postal_split", "2"}},
                               Params{{"enabled", "1"}, {"regions", "madrid"}, {"forms", "x"},
                                      {"postal_digits", "5"}, {"postal_split", "2"}},
                               Params{{"enabled", "1"}, {"regions", "madrid"}, {"forms", "comma"},
                                      {"postal_digits", "five"}, {"postal_split", "2"}}}) {
    WithParams p(params);
    EXPECT_FALSE(address_field_retries("Calle Mayor, 5, Madrid, Madrid"));
    EXPECT_FALSE(city_tail("Calle Mayor, 5, Madrid, Madrid"));
  }
}

TEST(FieldRetries, CitylessNumbersAndLabels) {
  WithParams p(kMadrid);
  EXPECT_EQ(cityless_field_address("Calle Mayor, n\u00BA 12 - bajo"),
            (std::pair<std::string, uint32_t>{"calle mayor", 12}));
  EXPECT_EQ(cityless_field_address("Calle Mayor, 12 \u2013 2\u00BA"),
            (std::pair<std::string, uint32_t>{"calle mayor", 12}));
  for (const char* q : {"Calle Mayor, 12, Madrid", "Calle Mayor, 123456", "12, 5",
                        "Calle Mayor, 12 madrid"}) {
    EXPECT_FALSE(cityless_field_address(q)) << q;
  }
  const std::vector<std::pair<std::string, std::string>> labels = {
      {"  N.\u00BA 7 ", "7"}, {"n\u00BA", ""}, {"no 7", "no 7"}, {"n\u00B0 7", "7"},
      {"n.\u00B0 7", "n.\u00B0 7"}};
  for (const auto& [field, rest] : labels) EXPECT_EQ(field_number_unlabel(field), rest) << field;
  const std::vector<std::pair<std::string, std::optional<uint32_t>>> numbers = {
      {"12b", 12}, {"b12", std::nullopt}, {"4294967295", 4294967295u},
      {"4294967296", std::nullopt}, {"", std::nullopt}};
  for (const auto& [text, n] : numbers) EXPECT_EQ(numeric_house_prefix(text), n) << text;
}

TEST(CityTail, Shapes) {
  WithParams p(kBrazil);
  const std::string decomposed_sao = "Sa\xCC\x83o Paulo";  // "a" + U+0303
  const std::vector<std::pair<std::string, std::optional<std::string>>> cities = {
      {"Rua X 10, Sao Paulo, sp", "sao paulo"},
      {"Rua X 10, Sao Paulo, sp, 01305-000", "sao paulo"},
      {"Rua X 10, Sao Paulo, Sp, 01305000", "sao paulo"},
      {"Rua X 10, " + decomposed_sao + ", SP", "sao paulo"},
      {"Rua X 10, Sao Paulo - SP", "sao paulo"},
      {"Sao Paulo, SP", std::nullopt},
      {"Sao Paulo - SP", std::nullopt},
      {"Rua X 10, Sao Paulo-SP", std::nullopt},
      {"Rua X, 10, Centro, Sao Paulo 2, SP", std::nullopt},
      {"01305-000", std::nullopt},
  };
  for (const auto& [q, city] : cities) {
    const std::optional<CityTail> tail = city_tail(q);
    EXPECT_EQ(tail ? std::optional<std::string>(tail->city) : std::nullopt, city) << q;
  }
  const std::vector<std::pair<std::string, std::optional<std::string>>> retries = {
      {"Rua X, 100, Centro, Sao Paulo, SP", "Rua X, 100, Sao Paulo, SP"},
      {"Rua X, s/n, Centro, Sao Paulo, SP, 01305-000", "Rua X, s/n, Sao Paulo, SP, 01305-000"},
      {"Rua X, 100, Centro, Sao Paulo - SP", "Rua X, 100, Sao Paulo - SP"},
      {"Rua X, Bloco A, Centro, Sao Paulo, SP", std::nullopt},
      {"Rua X 100, Centro, Sao Paulo, SP", std::nullopt},
  };
  for (const auto& [q, retry] : retries) {
    const std::optional<CityTail> tail = city_tail(q);
    ASSERT_TRUE(tail) << q;
    EXPECT_EQ(tail->retry_query, retry) << q;
  }
}

TEST(PostalRetry, HyphenatesBareRuns) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"12345678", "12345-678"},
      {"Rua X 10 01305000 Sao Paulo", "Rua X 10 01305-000 Sao Paulo"},
      {"x12345678y", "x12345-678y"},
      {"12345678 e 87654321", "12345-678 e 87654-321"},
      {"\u00E912345678", "\u00E912345-678"},  // a letter before the run
      {"12345678-1", std::nullopt},
      {"1-12345678", std::nullopt},
      {"123456789", std::nullopt},
      {"\xC2\xB2" "12345678", std::nullopt},   // superscript two is numeric
      {"12345678\xD9\xA1", std::nullopt},      // Arabic-Indic one
      {"1234567", std::nullopt},
  };
  for (const auto& [q, rewritten] : cases) EXPECT_EQ(hyphenate_postcodes(q, 8, 5), rewritten) << q;
}

}  // namespace
}  // namespace vorlane::query
