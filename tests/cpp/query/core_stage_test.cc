// The core stage against a scripted matching core: which requests each
// query makes, in order, and which answer comes back. Communes and places
// come from the places fixture ("brive", "auray" are communes there).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sheet_builder.h"
#include "vorlane/diagnosis/trace_contents.h"
#include "vorlane/query/core_stage.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace vorlane::query {
namespace {

using Rows = std::vector<ScoredHit>;
using Script = std::map<std::string, Rows>;

const Index& sheet() {
  static const std::unique_ptr<Index> idx = testing::places_fixture().open();
  return *idx;
}

ScoredHit row(std::string_view precision, std::string commune, bool street_exact,
              std::vector<std::string_view> flags = {}, float confidence = 0.9f) {
  Hit hit;
  hit.precision = precision;
  hit.commune = std::move(commune);
  hit.flags = std::move(flags);
  hit.confidence = confidence;
  FeatureVector f{};
  f[0] = street_exact ? 1.0f : 0.0f;
  return {hit, f};
}

const ScoredHit kHouse = row(kPrecisionHouse, "velmont", true, {"street_exact"});
const ScoredHit kStreet = row(kPrecisionStreet, "velmont", true, {"street_exact"});
const ScoredHit kNear = row(kPrecisionNear, "velmont", true, {"street_exact"});
const ScoredHit kBothCodes = row(kPrecisionStreet, "velmont", false, {"commune_exact", "pc_exact"});
const ScoredHit kExactBothCodes =
    row(kPrecisionStreet, "velmont", true, {"commune_exact", "pc_exact"}, 0.8f);

// "precision commune flag,flag confidence" per row, rows joined by "; ".
std::string summary(const Rows& rows) {
  std::string out;
  for (const auto& [hit, features] : rows) {
    if (!out.empty()) out += "; ";
    out += std::string(hit.precision) + " " + hit.commune + " ";
    for (size_t i = 0; i < hit.flags.size(); ++i) {
      out += (i ? "," : "") + std::string(hit.flags[i]);
    }
    char conf[16];
    std::snprintf(conf, sizeof conf, " %.2f", hit.confidence);
    out += conf;
  }
  return out;
}

struct Outcome {
  std::vector<testing::CoreRequest> requests;
  Rows answer;
};

Outcome run(std::string_view q, const Script& script, const DeStageArguments& de = {}) {
  testing::ScopedCoreScript scripted([&](const testing::CoreRequest& r) {
    auto it = script.find(r.key);
    return it == script.end() ? Rows{} : it->second;
  });
  Rows answer = query_feats_d(sheet(), q, 10, false, de);
  return {scripted.requests(), std::move(answer)};
}

TEST(CoreStage, RequestsAndAnswers) {
  struct Case {
    const char* q;
    Script script;
    std::vector<std::string> requests;  // "*": any key; none listed: not checked
    std::string answer;
  };
  const Case cases[] = {
      // Four number words go, three stay.
      {"12 14 16 18 rue x", {{"rue x", {kHouse}}}, {"rue x"}, "house velmont street_exact 0.90"},
      {"12 14 16 rue x", {{"12 14 16 rue x", {kHouse}}}, {"12 14 16 rue x"},
       "house velmont street_exact 0.90"},
      // A bare place answers without a request; a digit word prevents it.
      {"brive", {}, {}, "city brive place_exact 0.05"},
      {"brive 12", {{"brive 12", {kStreet}}}, {"brive 12"}, "street velmont street_exact 0.90"},
      // City first: a "street" top gives way to a house in the named commune.
      {"brive rue x 5",
       {{"brive rue x 5", {kStreet}}, {"rue x 5", {row(kPrecisionHouse, "Brive", true)}}},
       {"brive rue x 5", "rue x 5"}, "house Brive  0.90"},
      {"brive rue x 5",
       {{"brive rue x 5", {kStreet}}, {"rue x 5", {row(kPrecisionHouse, "auray", true)}}},
       {"brive rue x 5", "rue x 5"}, "street velmont street_exact 0.90"},
      {"brive rue x 5", {{"brive rue x 5", {kNear}}}, {"brive rue x 5"},
       "near velmont street_exact 0.90"},
      // Inside the affix recursion a "street" top stands.
      {"rue brive rue x 5", {{"brive rue x 5", {kStreet}}}, {"rue brive rue x 5", "*", "brive rue x 5"},
       "street velmont street_exact 0.90"},
      // Transliterations only where they change the key.
      {"щука", {}, {"щука", "scuka", "shchuka"}, ""},
      {"ӏӏ", {}, {"ӏӏ"}, ""},
      {"djordje", {}, {"djordje", "*", "*", "dorde"}, ""},
      // Two leading affixes go in one recursion, then the outer drops.
      {"rue avenue x", {}, {"rue avenue x", "*", "x", "*", "avenue x", "rue avenue"}, ""},
      {"rue", {}, {"rue", "*"}, ""},
      // Prefix drops: an exact house is capped and flagged; a dropped commune
      // leaves the answer as it is.
      {"foo bar rue x 5", {{"bar rue x 5", {kHouse}}}, {},
       "house velmont street_exact,dropped_prefix 0.60"},
      {"brive zz rue x", {{"zz rue x", {kBothCodes}}}, {}, "street velmont commune_exact,pc_exact 0.90"},
      // The deferred fallback against the suffix drop, both ways, and alone.
      {"aa bb cc dd",
       {{"bb cc dd", {kBothCodes}}, {"cc dd", {kBothCodes}}, {"aa bb cc", {kStreet}}},
       {"aa bb cc dd", "*", "bb cc dd", "cc dd", "aa bb cc"},
       "street velmont commune_exact,pc_exact,dropped_prefix,__deferred_locality_drop 0.60"},
      {"aa bb cc dd", {{"bb cc dd", {kBothCodes}}, {"aa bb cc", {kExactBothCodes}}}, {},
       "street velmont commune_exact,pc_exact,dropped_suffix 0.60"},
      {"aa bb cc dd", {{"bb cc dd", {kBothCodes}}},
       {"aa bb cc dd", "*", "bb cc dd", "cc dd", "aa bb cc", "aa bb"},
       "street velmont commune_exact,pc_exact,dropped_prefix,__deferred_locality_drop 0.60"},
      // No suffix drop over a number; no place answer beside a short number.
      {"aa bb 12", {}, {"aa bb 12", "*", "bb 12"}, ""},
      {"aa bb, brive", {}, {}, "city brive place_exact 0.05"},
      {"aa bb 12, brive", {}, {}, ""},
  };
  for (const Case& c : cases) {
    const Outcome r = run(c.q, c.script);
    EXPECT_EQ(summary(r.answer), c.answer) << c.q;
    if (c.requests.empty()) continue;
    ASSERT_EQ(r.requests.size(), c.requests.size()) << c.q;
    for (size_t i = 0; i < c.requests.size(); ++i) {
      if (c.requests[i] != "*") {
        EXPECT_EQ(r.requests[i].key, c.requests[i]) << c.q << " #" << i;
      }
    }
  }
}

TEST(CoreStage, GermanArgumentsFilterPrefixDropsAndFormTheSuffixContext) {
  auto house = [](std::string commune, std::string postcode) {
    ScoredHit r = kHouse;
    r.first.commune = std::move(commune);
    r.first.postcode = std::move(postcode);
    return r;
  };
  // Kept: the postcode's number, or the locality as the commune's core.
  const Script script{{"bb cc",
                       {house("orlac", "99999"), house("orlac", "12345-x"),
                        house("Velmont Stadt", "99999")}}};
  DeStageArguments de{"velmont", true, 12345, true, std::nullopt};
  EXPECT_EQ(summary(run("aa bb cc", script, de).answer),
            "house orlac street_exact,dropped_prefix 0.60; "
            "house Velmont Stadt street_exact,dropped_prefix 0.60");
  de.locality_present = false;
  EXPECT_EQ(run("aa bb cc", script, de).answer.size(), 3u);

  const Outcome r = run("aa bb cc", {}, de);
  ASSERT_GE(r.requests.size(), 2u);
  const testing::CoreRequest& suffix = r.requests.back();
  EXPECT_EQ(suffix.key, "aa bb");
  EXPECT_EQ(suffix.locality, "velmont");
  EXPECT_EQ(suffix.tail, "cc");
  EXPECT_TRUE(suffix.postal_tail_eligible);
  for (size_t i = 0; i + 1 < r.requests.size(); ++i) EXPECT_FALSE(r.requests[i].locality);
}

TEST(CoreStage, AQueryNothingAnswersCostsAtMost36Requests) {
  // Unglued, Cyrillic and Latin, "j" and "dj", a leading affix, 11 words.
  const uint64_t before = testing::core_runs();
  const Outcome r = run("rue d12 щ dj aa bb cc dd ee ff gg", {});
  EXPECT_EQ(r.requests.size(), 36u);
  EXPECT_EQ(testing::core_runs() - before, 36u);
}

TEST(CoreStage, PrefixDropsAreTraced) {
  diagnosis::testing::ScopedTrace trace;
  run("aa bb cc dd", {{"bb cc dd", {kBothCodes}}});
  ASSERT_EQ(trace.trace().guards.size(), 1u);
  const auto& event = trace.trace().guards[0];
  EXPECT_EQ(event["stage"], "prefix_drop");
  EXPECT_EQ(event["count"], 1);
  EXPECT_EQ(event["accepted"], false);
  EXPECT_EQ(event["evidence"]["top"]["commune"], "velmont");
  EXPECT_EQ(event["evidence"]["dropped_is_commune"], false);
}

TEST(CoreStage, StripLeadingPostcode) {
  const std::pair<const char*, const char*> cases[] = {
      {"75001 velmont", "velmont"}, {"  12345   velmont", "velmont"},
      {"123 velmont", "123 velmont"}, {"1234567 velmont", "1234567 velmont"},
      {"75001", "75001"},           {"75001 fr", "75001 fr"},
      {"75001 fr velmont", "velmont"}, {"75001 frvelmont", "frvelmont"},
      {"75001 fr  ", "75001 fr  "},       {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(strip_leading_pc(in), out) << in;
}

}  // namespace
}  // namespace vorlane::query
