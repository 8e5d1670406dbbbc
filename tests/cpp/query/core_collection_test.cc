// Candidate collection and selection of the matching core, end to end on
// the fixture sheets of tests/data/core (make_core_sheets.py: street and
// commune ids are positions there).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "core_fixture.h"
#include "vorlane/diagnosis/trace_contents.h"
#include "vorlane/query/candidates.h"
#include "vorlane/query/folding.h"

namespace vorlane::query {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::IsSupersetOf;
using testing::CoreArgs;
using testing::core_sheet;
using testing::describe;
using testing::run_core;

std::vector<std::string> variants(std::string_view street) {
  const rules::CurrentRulesScope scope(core_sheet("fr").active_rules());
  return street_variants_of(core_sheet("fr"), street).texts;
}

TEST(CoreCollection, StreetVariants) {
  const struct {
    const char* street;
    std::vector<std::string> variants;
  } cases[] = {
      {"r de la paix", {"r de la paix", "rue de la paix"}},
      {"paix r", {"paix r", "paix rue"}},
      {"r", {"r"}},
      {"rue dix sept", {"rue dix sept", "rue 17"}},
      {"avenue un deux", {"avenue un deux", "avenue 1 2"}},
      {"rue un un", {"rue un un", "rue 1 un"}},  // non-overlapping, left to right
      {"rue sept dix sept", {"rue sept dix sept", "rue 7 17"}},  // longer entries first
      {"dix", {"dix", "10"}},
      {"rue dixsept", {"rue dixsept"}},
      {"rue 1er", {"rue 1er"}},
      {"rue premier premiere", {"rue premier premiere", "rue 1er premiere"}},
      {"bulevar kralja petra", {"bulevar kralja petra"}},
      {"ulica puskinova nova", {"ulica puskinova nova", "ulica puskina nova"}},
      {"улица ленина", {"улица ленина", "ленина улица"}},
      {"ленина улица", {"ленина улица", "улица ленина"}},
      {"ул ленина", {"ул ленина", "улица ленина", "ленина улица"}},
  };
  for (const auto& c : cases) EXPECT_THAT(variants(c.street), ElementsAreArray(c.variants)) << c.street;

  const rules::CurrentRulesScope scope(core_sheet("fr").active_rules());
  const std::vector<std::string> lookups = commune_lookup_texts({"de la paix"});
  EXPECT_THAT(lookups, IsSupersetOf({"rue de la paix", "de la paix rue", "sentier de la paix"}));
  EXPECT_EQ(commune_lookup_texts({"rue x"}), (std::vector<std::string>{"rue x"}));
}

// The memo shared by a query's core calls answers what each call would work
// out alone, and only for the sheet and rules it was opened under.
TEST(CoreCollection, TextMemoAnswersAsDirectLookups) {
  const Index& de = core_sheet("de");
  const Index& fr = core_sheet("fr");
  const auto scanned = [](const Index& sheet, std::string_view street) {
    return scanned_street_variants(sheet, street).texts;
  };
  using Lookup = std::tuple<uint64_t, uint64_t, bool>;
  const auto described = [](const CommuneLookups& lookups) {
    std::vector<Lookup> out;
    for (size_t i = 0; i < lookups.ends.size(); ++i) {
      out.emplace_back(lookups.ends[i].addr, lookups.ends[i].sum, lookups.german[i]);
    }
    return out;
  };
  const auto lookups = [&](const Index& sheet, std::string_view street) {
    return described(commune_lookups_of(sheet, street));
  };
  const auto direct_communes = [](const Index& sheet, std::string_view text) {
    const std::vector<uint32_t> exact = sheet.communes_by_name(text);
    return exact.empty() ? sheet.communes_by_prefix(text) : exact;
  };
  const auto street_count = [](const Index& sheet) {
    return std::vector<uint32_t>{static_cast<uint32_t>(sheet.street_count())};
  };
  const auto pieces = [&](LookupTools& t, const Index& sheet) {
    return t.texts.ids(TextLookups::Ids::piece_streets, "x", [&] { return street_count(sheet); });
  };
  const rules::CurrentRulesScope de_rules(de.active_rules());
  const CoreTextMemoScope memo(de);
  LookupTools tools(de);
  for (int pass = 0; pass < 2; ++pass) {  // the second pass is served from the memo
    for (const char* street : {"hauptstr", "haupt strasse", "rue dix sept", "hauptstraße str"}) {
      EXPECT_EQ(tools.texts.scanned_variants(street).texts, scanned(de, street)) << street;
      EXPECT_EQ(described(tools.texts.commune_lookups(street)), lookups(de, street)) << street;
    }
    for (const char* commune : {"berlin", "dorf 0", "dorf 35", "nowhere"}) {
      EXPECT_EQ(tools.communes.resolve(commune).ids, direct_communes(de, commune)) << commune;
    }
    EXPECT_EQ(pieces(tools, de), street_count(de));
  }
  EXPECT_THAT(tools.texts.scanned_variants("haupt strasse").texts, Contains("hauptstr"));
  EXPECT_EQ(lookups(de, "haupt strasse").size(), 1u);
  {
    // Another sheet works alone, under the memo's rules or its own, and so
    // does the memo's sheet under other rules.
    LookupTools fr_tools(fr);
    EXPECT_EQ(fr_tools.communes.resolve("berlin").ids, direct_communes(fr, "berlin"));
    EXPECT_EQ(pieces(fr_tools, fr), street_count(fr));
    EXPECT_EQ(described(fr_tools.texts.commune_lookups("haupt strasse")),
              lookups(fr, "haupt strasse"));
    const rules::CurrentRulesScope fr_rules(fr.active_rules());
    EXPECT_EQ(fr_tools.texts.scanned_variants("haupt strasse").texts, scanned(fr, "haupt strasse"));
    EXPECT_EQ(fr_tools.communes.resolve("dorf 0").ids, direct_communes(fr, "dorf 0"));
    const rules::CurrentRulesScope fallback(rules::fallback());
    EXPECT_EQ(tools.texts.scanned_variants("haupt strasse").texts, scanned(de, "haupt strasse"));
    EXPECT_EQ(described(tools.texts.commune_lookups("haupt strasse")),
              lookups(de, "haupt strasse"));
  }
  EXPECT_EQ(tools.texts.scanned_variants("haupt strasse").texts, scanned(de, "haupt strasse"));

  // Past the memo's size, lists are kept for the call alone.
  const size_t lists = 2 * kCoreTextMemoBytes / (16384 * sizeof(uint32_t));
  const auto list = [](size_t i) { return std::vector<uint32_t>(16384, static_cast<uint32_t>(i)); };
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < lists; ++i) {
      const std::string piece = "piece " + std::to_string(i);
      EXPECT_EQ(tools.texts.ids(TextLookups::Ids::piece_streets, piece, [&] { return list(i); }),
                list(i));
    }
  }
}

// Scans find the same texts, in the same order and with the same marks,
// among the scanned variants as among all of them.
TEST(CoreCollection, ScannedVariantsKeepEveryTextAKeyBeginsWith) {
  const Index& de = core_sheet("de");
  const rules::CurrentRulesScope scope(de.active_rules());
  const auto found = [&](const StreetVariants& v) {
    std::vector<std::pair<std::string, bool>> out;
    for (size_t i = 0; i < v.texts.size(); ++i) {
      if (de.street_key_fst.descend(v.texts[i] + kStreetKeySeparator, de.street_key_fst.root())) {
        out.emplace_back(v.texts[i], v.german[i]);
      }
    }
    return out;
  };
  size_t left_out = 0;
  for (const char* street : {"haupt str", "haupt strasse", "hauptstr", "alte hauptstr",
                             "haupt str alte str", "r haupt str"}) {
    const StreetVariants all = street_variants_of(de, street);
    const StreetVariants scanned = scanned_street_variants(de, street);
    EXPECT_EQ(found(scanned), found(all)) << street;
    left_out += all.texts.size() - scanned.texts.size();
  }
  EXPECT_THAT(found(street_variants_of(de, "haupt str")),
              Contains(std::pair<std::string, bool>("hauptstrasse", true)));
  EXPECT_GT(left_out, 0u);
}

// Lookups under communes keep every lookup text the dictionary holds keys
// of, in order, with its mark.
TEST(CoreCollection, CommuneLookupsKeepEveryTextTheDictionaryHolds) {
  for (const char* name : {"de", "fr"}) {
    const Index& sheet = core_sheet(name);
    const rules::CurrentRulesScope scope(sheet.active_rules());
    for (const char* street : {"haupt strasse", "hauptstr", "rue de la paix", "de la paix",
                               "paix de la rue", "rue de paix la", "r12 de la paix",
                               "rue 17 d12 x", "ленина улица"}) {
      const StreetVariants variants = street_variants_of(sheet, street);
      std::vector<std::tuple<uint64_t, uint64_t, bool>> expected;
      for (const std::string& text : commune_lookup_texts(variants.texts)) {
        const std::optional<fst::Map::Position> end = street_text_end(sheet, text);
        if (!end) continue;
        const auto it = std::find(variants.texts.begin(), variants.texts.end(), text);
        const bool german =
            it != variants.texts.end() && variants.german[it - variants.texts.begin()];
        expected.emplace_back(end->addr, end->sum, german);
      }
      const CommuneLookups lookups = commune_lookups_of(sheet, street);
      std::vector<std::tuple<uint64_t, uint64_t, bool>> got;
      for (size_t i = 0; i < lookups.ends.size(); ++i) {
        got.emplace_back(lookups.ends[i].addr, lookups.ends[i].sum, lookups.german[i]);
      }
      EXPECT_EQ(got, expected) << name << ": " << street;
    }
  }
}

// Flags of each street found for a key, as "street | commune: flags".
std::vector<std::string> found(const std::string& sheet, std::string_view key) {
  std::vector<std::string> out;
  for (const RankedHit& r : run_core(core_sheet(sheet), key)) {
    std::string s = r.hit.street + " | " + r.hit.commune + ":";
    for (std::string_view f : r.hit.flags) s += " " + std::string(f);
    out.push_back(s);
  }
  return out;
}

TEST(CoreCollection, FlagsByPath) {
  const struct {
    const char* key;
    std::vector<std::string> rows;
  } cases[] = {
      {"rue de la paix velmont", {"Rue de la Paix | Velmont: street_exact commune_exact"}},
      {"rue de la paix orsan", {"Rue de la Paix | Orsange: street_exact commune_prefix"}},
      {"de lattre orsange", {"Rue de Lattre | Orsange: street_exact commune_exact"}},
      {"rue dix sept velmont", {"Rue 17 | Velmont: street_exact commune_exact"}},
      {"ulica puskinova velmont", {"Ulica Puskina | Velmont: street_exact commune_exact"}},
      {"ленина улица химки", {"улица Ленина | Химки: street_exact commune_exact"}},
      // Without a commune a postcode keeps its area (and streets without a
      // postcode); under a commune every postcode stays.
      {"rue de la paix 75011",
       {"Rue de la Paix | Orsange: street_exact pc_exact", "Rue de la Paix | Velmont: street_exact pc_dept"}},
      {"rue de la paix 75011 verbois", {}},  // see below
  };
  for (const auto& c : cases) EXPECT_THAT(found("fr", c.key), ElementsAreArray(c.rows)) << c.key;

  // Under a commune a street of another postcode area is collected, without
  // postcode flags; the area filter then drops it.
  const Index& fr = core_sheet("fr");
  const rules::CurrentRulesScope scope(fr.active_rules());
  uint64_t budget = 0;
  SeenStreetVariants seen;
  ExactHouseCache houses;
  RescueState rescue{false, {}, budget, seen, houses};
  LookupTools tools(fr);
  CandidateMap map;
  const std::vector<std::string_view> words = {"rue", "de", "la", "paix", "verbois"};
  EXPECT_FALSE(collect_candidates(fr, words, {.postcode = 75011}, rescue, tools, map));
  ASSERT_EQ(map.size(), 1u);
  EXPECT_TRUE(map.entries()[0].second.commune_exact);
  EXPECT_FALSE(map.entries()[0].second.pc_dept);
}

TEST(CoreCollection, ScanCapAndSelection) {
  CoreArgs many;
  many.k = 1000;
  EXPECT_EQ(run_core(core_sheet("many"), "grande rue", many).size(), 300u);

  // A score of 8 ends the walk over hypotheses; without a postcode every
  // hypothesis is collected.
  for (const auto& [key, hypotheses] : {std::pair{"12 rue de la paix 75002 velmont", 1u},
                                        std::pair{"12 rue de la paix velmont", 3u}}) {
    const diagnosis::testing::ScopedTrace trace;
    const std::vector<RankedHit> rows = run_core(core_sheet("fr"), key);
    EXPECT_EQ(trace.trace().counts.hypotheses, hypotheses) << key;
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(describe(rows)[0], "Rue de la Paix | Velmont | 12");
    EXPECT_EQ(rows[0].hit.region, "Val");
  }
}

TEST(CoreCollection, KeptMapTakesOnlyStrictlyBetterScores) {
  CandidateMap exact_commune, exact_street, empty;
  exact_commune[1].commune_exact = exact_commune[1].street_exact = true;  // 6
  exact_street[2].street_exact = exact_street[3].street_exact = true;    // 3
  KeptCandidates kept;
  EXPECT_FALSE(kept.offer(empty, 0));
  EXPECT_TRUE(kept.offer(exact_street, 1));
  CandidateMap tie;
  tie[9].street_exact = true;
  EXPECT_FALSE(kept.offer(tie, 2));
  EXPECT_TRUE(kept.offer(exact_commune, 3));
  EXPECT_EQ(kept.hyp, 3u);
  EXPECT_EQ(kept.score, 6);
}

TEST(CoreCollection, GermanRescue) {
  const Index& de = core_sheet("de");
  const auto rescue = [](uint64_t budget, std::vector<uint32_t> alternatives = {}) {
    CoreArgs a;
    a.rescue = true;
    a.budget = budget;
    a.alternatives = std::move(alternatives);
    return a;
  };
  // Budget 0: exhausted at the first street found.
  CoreArgs none = rescue(0);
  EXPECT_TRUE(run_core(de, "hauptstrasse 5 10115", none).empty());
  EXPECT_TRUE(none.abort);

  // Every village holds 5 and 7; only the last, lightest one also holds 9,
  // so it is pinned past the cut of 30 and, lying at the default centre,
  // ranks first.
  CoreArgs pinned = rescue(8192, {7, 9});
  const diagnosis::testing::ScopedTrace trace;
  const std::vector<RankedHit> rows = run_core(de, "hauptstrasse 5 10115", pinned);
  EXPECT_EQ(trace.trace().counts.hits, 31u);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(describe(rows)[0], "Hauptstrasse | Dorf 35 | 5");
  EXPECT_THAT(rows[0].hit.flags, Contains("pc_exact"));
  EXPECT_FALSE(pinned.abort);
  EXPECT_THAT(pinned.seen, Contains("hauptstrasse"));

  // A street text already seen is not scanned again.
  CoreArgs seen = rescue(8192);
  seen.seen.insert("hauptstrasse");
  EXPECT_TRUE(run_core(de, "hauptstrasse 5 10115", seen).empty());
  EXPECT_EQ(seen.budget, 8192u);

  // Under a commune, the rescue accepts the one street with the house.
  CoreArgs commune = rescue(8192);
  EXPECT_THAT(describe(run_core(de, "hauptstrasse 5 10115 dorf 03", commune)),
              Contains("Hauptstrasse | Dorf 03 | 5"));
  EXPECT_EQ(commune.budget, 8191u);

  // Outside Germany commune-path streets are dropped; scans run as usual.
  CoreArgs fr = rescue(8192);
  EXPECT_TRUE(run_core(core_sheet("fr"), "rue de la paix 12 75002 velmont", fr).empty());
  EXPECT_FALSE(run_core(core_sheet("fr"), "rue de la paix 12 75002", fr).empty());
  EXPECT_EQ(fr.budget, 8192u);
}

TEST(CoreCollection, IdsPastTheTablesAreSkipped) {
  // faults.idx: "rue fantome" and "rue y" also name street 2^32 (street 0
  // when narrowed); "ghost" names commune 9999, whose code would read as the
  // empty code of "rue x".
  const Index& faults = core_sheet("faults");
  EXPECT_TRUE(run_core(faults, "rue fantome").empty());
  EXPECT_TRUE(run_core(faults, "rue fantome ghostly").empty());
  EXPECT_TRUE(run_core(faults, "rue fantomx").empty());
  EXPECT_TRUE(run_core(faults, "rue x ghost").empty());
  EXPECT_THAT(describe(run_core(faults, "rue y")), ElementsAreArray({"Rue Y | Ghostly | -"}));
}

TEST(CoreCollection, GermanStreetVariantsAreFlagged) {
  const std::vector<RankedHit> rows = run_core(core_sheet("de"), "hauptstr dorf 03");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(describe(rows)[0], "Hauptstrasse | Dorf 03 | -");
  EXPECT_THAT(rows[0].hit.flags, ElementsAreArray({"street_exact", "commune_exact", "de_street_type"}));
  const std::vector<RankedHit> plain = run_core(core_sheet("de"), "hauptstrasse dorf 03");
  ASSERT_FALSE(plain.empty());
  EXPECT_THAT(plain[0].hit.flags, ElementsAreArray({"street_exact", "commune_exact"}));
}

}  // namespace
}  // namespace vorlane::query
