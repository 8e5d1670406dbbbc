// The open-time walk over every reachable node of a map (internal).
#pragma once

#include <cstdint>

#include "vorlane/base/result.h"
#include "vorlane/fst/node.h"

namespace vorlane::fst::internal {

// Decodes every node reachable from `root` once and checks that it lies in
// the node area, that every transition target is 0 or a node strictly below
// the node's lowest byte, that `many` nodes list their inputs in strictly
// ascending order and that their index tables agree with the inputs.
Result<void> validate_nodes(const Image& image, uint64_t root);

}  // namespace vorlane::fst::internal
