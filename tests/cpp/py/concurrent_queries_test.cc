// Queries from several threads at once on one sheet, including the first
// ones, which build the sheet's lazily derived values together; run under
// ThreadSanitizer by make test-tsan.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "query/sheet_builder.h"
#include "support/test_data.h"
#include "vorlane/py/batch_pool.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace vorlane::query {
namespace {

using namespace testing;  // the sheet builder

struct Answer {
  double lat, lon, distance;
  std::string street;
  bool operator==(const Answer&) const = default;
};

std::vector<Answer> reverse(const Index& index, double lat, double lon) {
  const auto hits = index.try_reverse(lat, lon, 3);
  std::vector<Answer> out;
  if (!hits) return out;
  for (const Hit& h : *hits) out.push_back({h.lat, h.lon, h.distance_m.value_or(-1), h.street});
  return out;
}

TEST(ConcurrentQueries, ReverseFromManyThreadsGivesTheSerialAnswers) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> near(-0.02, 0.02);
  SheetBuilder b;
  for (int s = 0; s < 200; ++s) {
    TestStreet street;
    street.name = "S" + std::to_string(s);
    street.lat = kLat + near(rng);
    street.lon = kLon + near(rng);
    for (uint32_t h = 1; h <= 5; ++h) {
      street.houses.push_back({h, 0, street.lat + near(rng) / 50, street.lon + near(rng) / 50});
    }
    b.streets.push_back(street);
  }
  const auto index = b.open();
  ASSERT_TRUE(index);
  std::vector<std::pair<double, double>> points;
  for (int i = 0; i < 400; ++i) points.emplace_back(kLat + near(rng), kLon + near(rng));

  std::vector<std::vector<std::vector<Answer>>> by_thread(8);
  std::vector<std::thread> threads;
  for (auto& answers : by_thread) {
    threads.emplace_back([&] {
      for (const auto& [lat, lon] : points) answers.push_back(reverse(*index, lat, lon));
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < points.size(); ++i) {
    const std::vector<Answer> serial = reverse(*index, points[i].first, points[i].second);
    for (const auto& answers : by_thread) ASSERT_EQ(answers[i], serial) << i;
  }
}

struct ForwardAnswer {
  double lat, lon;
  float score, confidence;
  std::string street, housenumber, commune, postcode;
  std::vector<std::string_view> flags;
  bool operator==(const ForwardAnswer&) const = default;
};

std::vector<ForwardAnswer> forward(const Index& sheet, const std::string& q) {
  std::vector<ForwardAnswer> out;
  for (const Hit& h : query_cascade(sheet, nullptr, q, 5)) {
    out.push_back({h.lat, h.lon, h.score, h.confidence, h.street, h.housenumber.value_or("-"),
                   h.commune, h.postcode, h.flags});
  }
  return out;
}

std::unique_ptr<Index> open_committed(const std::string& name) {
  auto opened = Index::open(vorlane::testing::data_path("core/" + name));
  EXPECT_TRUE(opened.has_value()) << name;
  return opened ? std::move(*opened) : nullptr;
}

// The batch path: forward queries mapped on the pool, the first ones on a
// sheet just opened, against the answers of one thread on another copy.
TEST(ConcurrentQueries, ForwardOnThePoolGivesTheSerialAnswers) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"fr.idx",
       {"12 rue de la paix velmont", "rue de la paix 75011", "rue de la piax velmont",
        "champs elysees 1 velmont", "улица ленина 10 химки", "sentier lilas 7b velmont",
        "ulitsa lenina khimki", "boulevard st jean", "foo bar rue du parc velmont", "velmont",
        "rue 17, 10001 velmont", "zzzz qqqq", "", std::string(3000, 'e')}},
      {"de.idx", {"hauptstrasse 9 10115", "hauptstr 5 dorf 07", "hauptstraße 7, dorf 35"}},
  };
  const auto pool = py::batch_pool::Pool::start(4);
  ASSERT_TRUE(pool);
  for (const auto& [name, texts] : cases) {
    const auto serial_sheet = open_committed(name);
    const auto fresh_sheet = open_committed(name);
    ASSERT_TRUE(serial_sheet && fresh_sheet);
    std::vector<std::string> queries;
    for (int round = 0; round < 20; ++round) queries.insert(queries.end(), texts.begin(), texts.end());
    std::vector<std::vector<ForwardAnswer>> answers(queries.size());
    pool->map(queries.size(), [&](size_t i) { answers[i] = forward(*fresh_sheet, queries[i]); });
    size_t answered = 0;
    for (size_t i = 0; i < queries.size(); ++i) {
      ASSERT_EQ(answers[i], forward(*serial_sheet, queries[i])) << name << ": " << queries[i];
      answered += !answers[i].empty();
    }
    EXPECT_GT(answered, queries.size() / 2) << name;
  }
}

}  // namespace
}  // namespace vorlane::query
