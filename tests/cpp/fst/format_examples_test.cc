// Small maps written out byte by byte (each produced by the reference
// builder): every node kind, the empty map, the empty key, explicit input
// bytes, multi-byte outputs, and their stored checksums.
#include <gtest/gtest.h>

#include "fst_test_util.h"
#include "vorlane/fst/node.h"

namespace vorlane::fst {
namespace {

using namespace vorlane::fst::testing;

struct Example {
  const char* name;
  Bytes nodes;
  uint64_t key_count;
  uint64_t root;
  std::optional<uint32_t> stored_checksum;  // as the builder wrote it
  Entries entries;
};

Bytes assemble(const Example& ex) {
  Bytes b(16 + ex.nodes.size() + 20, 0);
  b[0] = 3;  // version 3, type 0
  for (size_t i = 0; i < ex.nodes.size(); ++i) b[16 + i] = ex.nodes[i];
  store_u64(b, b.size() - 20, ex.key_count);
  store_u64(b, b.size() - 12, ex.root);
  reseal(b);
  return b;
}

const Example kExamples[] = {
    {"empty", {0x00, 0x00, 0x00}, 0, 18, 0x0F2D6B54, {}},
    {"a_1", {0x01, 0x00, 0x11, 0x85}, 1, 19, 0x69000DAC, {{"a", 1}}},
    {"a_0", {0x00, 0x10, 0x85}, 1, 18, 0x2AEF1B57, {{"a", 0}}},
    {"ab_ac",
     {0x01, 0x00, 0x00, 0x00, 0x63, 0x62, 0x11, 0x02, 0x01, 0x01, 0x11, 0x85},
     2, 27, 0xB01DF4ED, {{"ab", 1}, {"ac", 2}}},
    {"only_empty_key_0", {}, 1, 0, 0x369567C4, {{"", 0}}},
    {"only_empty_key_5", {0x05, 0x01, 0x00, 0x40}, 1, 19, std::nullopt, {{"", 5}}},
    {"final_many_node",
     {0x00, 0x01, 0x00, 0x62, 0x11, 0x41, 0x01, 0x01, 0x11, 0x85},
     2, 25, 0xB7F4466F, {{"a", 1}, {"ab", 2}}},
    {"one_next_and_wide_output",
     {0x00, 0x10, 0xb6, 0xdd, 0x2c, 0x01, 0x01, 0x12, 0xaa},
     1, 24, 0x17DB6433, {{"xyz", 300}}},
    {"explicit_input", {0x07, 0x00, 0x11, 0xff, 0x80}, 1, 20, 0xCD11908A, {{"\xff", 7}}},
};

class FormatExample : public ::testing::TestWithParam<Example> {};

TEST_P(FormatExample, ReadsAsWritten) {
  const Example& ex = GetParam();
  const Bytes bytes = assemble(ex);
  if (ex.stored_checksum) {
    EXPECT_EQ(load_le<uint32_t>(bytes.data() + bytes.size() - 4), *ex.stored_checksum);
  }
  std::optional<Map> map = open_or_fail(bytes);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->size(), ex.entries.size());
  for (const auto& [key, value] : ex.entries) EXPECT_EQ(map->get(key), value) << hex(key);
  for (const char* absent : {"b", "abc", "x", "xy", "xyzz", "\xfe"}) {
    bool listed = false;
    for (const auto& e : ex.entries) listed |= e.first == absent;
    if (!listed) {
      EXPECT_EQ(map->get(absent), std::nullopt) << absent;
    }
  }
  if (ex.entries.empty() || !ex.entries[0].first.empty()) {
    EXPECT_EQ(map->get(""), std::nullopt);
  }
  auto s = map->stream();
  EXPECT_EQ(collect(s), ex.entries);
}

INSTANTIATE_TEST_SUITE_P(Bytes, FormatExample, ::testing::ValuesIn(kExamples),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatExample, GoldenFilesMatchTheHandWrittenBytes) {
  for (const char* name : {"empty", "a_1", "ab_ac"}) {
    for (const Example& ex : kExamples) {
      if (std::string(ex.name) == name) {
        EXPECT_EQ(assemble(ex), golden_bytes(name)) << name;
      }
    }
  }
}

TEST(NodeDecoding, EachKind) {
  const Bytes ab_ac = assemble(kExamples[3]);
  const internal::Image image{ab_ac.data(), ab_ac.size() - 20, 3};
  internal::Node node;

  // Many transitions, not final, inputs 'b' and 'c' with outputs 0 and 1.
  ASSERT_EQ(internal::decode_node(image, 23, node), internal::NodeFault::none);
  EXPECT_EQ(node.kind, internal::NodeKind::many);
  EXPECT_FALSE(node.is_final);
  EXPECT_EQ(node.ntrans, 2u);
  EXPECT_EQ(node.lowest, 16u);
  const internal::Transition b = internal::transition_at(image, node, 0);
  const internal::Transition c = internal::transition_at(image, node, 1);
  EXPECT_EQ(std::make_tuple(b.input, b.output, b.target), std::make_tuple('b', 0u, 0u));
  EXPECT_EQ(std::make_tuple(c.input, c.output, c.target), std::make_tuple('c', 1u, 0u));
  EXPECT_EQ(internal::find_input(image, node, 'c'), 1u);
  EXPECT_EQ(internal::find_input(image, node, 'a'), std::nullopt);
  EXPECT_EQ(internal::first_input_above(image, node, 'a'), 0u);
  EXPECT_EQ(internal::first_input_above(image, node, 'b'), 1u);
  EXPECT_EQ(internal::first_input_above(image, node, 'c'), 2u);

  // One transition with output 1 to the node at 23 (delta 1 from byte 24).
  ASSERT_EQ(internal::decode_node(image, 27, node), internal::NodeFault::none);
  EXPECT_EQ(node.kind, internal::NodeKind::one);
  EXPECT_EQ(std::make_tuple(node.single_input, node.single_output, node.single_target),
            std::make_tuple('a', 1u, 23u));

  const Bytes xyz = assemble(kExamples[7]);
  const internal::Image xyz_image{xyz.data(), xyz.size() - 20, 3};
  ASSERT_EQ(internal::decode_node(xyz_image, 19, node), internal::NodeFault::none);
  EXPECT_EQ(node.kind, internal::NodeKind::one_next);
  EXPECT_EQ(std::make_tuple(node.single_input, node.single_target), std::make_tuple('y', 18u));
  ASSERT_EQ(internal::decode_node(xyz_image, 24, node), internal::NodeFault::none);
  EXPECT_EQ(node.single_output, 300u);

  const Bytes ff = assemble(kExamples[8]);
  const internal::Image ff_image{ff.data(), ff.size() - 20, 3};
  ASSERT_EQ(internal::decode_node(ff_image, 20, node), internal::NodeFault::none);
  EXPECT_EQ(node.single_input, 0xFF);
  EXPECT_EQ(node.lowest, 16u);
}

}  // namespace
}  // namespace vorlane::fst
