// Raw structural clean-ups of German address lines: six recognisers, each
// for one shape the index knows nothing about (a recipient line in front, a
// floor or telephone field behind, a parenthesised sub-address, a company
// field among three, the locality first, three spaces where the comma before
// the postcode belongs), each rewriting the raw text into the plain shape
// "street house, postcode locality" or refusing. They read no rules; fixed
// words are compared with the canonical form of a field.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/de/seed.h"

namespace vorlane::de {

// Runs the six clean-ups as one cumulative chain (each on the output of the
// last one that fired) and returns one seed per clean-up that fired: its
// text and `effects` followed by the codes of every clean-up so far.
std::vector<Seed> raw_structural_cleanup_seeds(std::string_view text, Effects effects);

// "Hauptstr 5   10115 Berlin" -> "Hauptstr 5, 10115 Berlin": exactly one
// run of three U+0020 spaces, a house of 1-4 digits before it, a postcode and
// locality after it, no comma anywhere.
std::optional<std::string> restore_missing_postcode_comma_raw(std::string_view text);

// "z. Hd. Empfang, Hauptstr 5, ..." -> "Hauptstr 5, ...": one of three
// recipient phrases as the first field, a digit somewhere after it.
std::optional<std::string> strip_recipient_prefix_raw(std::string_view text);

// "Hauptstr. 5 (Hinterhaus), 10115 Berlin" -> ("Hauptstr. 5, 10115 Berlin",
// "berlin"): the rewritten text and the canonical locality. Post-office
// boxes are refused.
std::optional<std::pair<std::string, std::string>> parenthetical_subaddress_raw(
    std::string_view text);
// The rewritten text of parenthetical_subaddress_raw.
std::optional<std::string> strip_parenthetical_subaddress_raw(std::string_view text);

// A last comma field that is one of four floor texts, or a telephone number
// of at least five digits, removed.
std::optional<std::string> strip_delivery_tail_raw(std::string_view text);

// Three comma fields, exactly one of the first two an address field and the
// third "PPPPP locality": the address field and the third field.
std::optional<std::string> select_three_field_address_raw(std::string_view text);

// "Berlin, Hauptstr. 5, 10115" -> "Hauptstr. 5, 10115 Berlin".
std::optional<std::string> reorder_locality_first_raw(std::string_view text);

}  // namespace vorlane::de
