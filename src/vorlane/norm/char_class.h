// Character classes of the canonical text form, from ICU's Unicode data.
// The classes are the Unicode properties themselves, not ICU's POSIX-like
// helpers (u_isalpha, u_isdigit, u_isspace...), whose definitions differ.
#pragma once

namespace vorlane::norm {

// ASCII 0..9 only: digit ranges and digit runs never involve other digits.
constexpr bool is_ascii_digit(char32_t c) { return c >= U'0' && c <= U'9'; }

// Unicode Alphabetic property (in ASCII exactly A..Z and a..z).
bool is_letter(char32_t c);

// Alphabetic, or general category Nd, Nl or No.
bool is_alphanumeric(char32_t c);

// General category N (Nd, Nl or No): digits of every script, numerals,
// fractions, superscript and subscript digits.
bool is_numeric(char32_t c);

// Unicode White_Space property.
bool is_white_space(char32_t c);

// General category Mn, Mc or Me.
bool is_mark(char32_t c);

}  // namespace vorlane::norm
