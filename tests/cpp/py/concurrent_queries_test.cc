// Queries from several threads at once on one sheet, including the first
// ones, which build the sheet's lazily derived values together; run under
// ThreadSanitizer by make test-tsan.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "query/sheet_builder.h"
#include "vorlane/query/index.h"

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

}  // namespace
}  // namespace vorlane::query
