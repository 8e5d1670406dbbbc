// The street-key map of about a million keys shared by fst_bench and
// lev_bench: keys.fst, and keys.tsv with the same entries in key order (key,
// tab, value), written by bench/make_fst_keys.py (ducer) into
// $VORLANE_FST_BENCH_DATA, or else into a cache directory under $TMPDIR, on
// first use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "vorlane/fst/map.h"

namespace vorlane::bench {

// The directory holding keys.fst and keys.tsv, generating them first when
// absent; nullopt (after a message on stderr) when generation fails.
std::optional<std::filesystem::path> bench_data_dir();

// The whole content of `file`; empty when unreadable.
std::vector<uint8_t> read_bytes(const std::filesystem::path& file);

// The map over `bytes`, which must outlive it; exits with a message when the
// map does not open.
fst::Map open_map_or_exit(const std::vector<uint8_t>& bytes);

}  // namespace vorlane::bench
