// Decimal text of a double in the plain form users see in messages: the
// shortest digits that read back to the same value, laid out without an
// exponent however large or small the value is.
#pragma once

#include <string>

namespace vorlane {

// Shortest round-trip digits, never an exponent: 91.0 gives "91", 0.1 gives
// "0.1", 1e-7 gives "0.0000001", 1e300 gives "1" and 300 zeros, -0.0 gives
// "-0". NaN gives "NaN", the infinities "inf" and "-inf".
std::string format_f64_display(double value);

}  // namespace vorlane
