#pragma once
// The float text form both JSON models write: 15 significant digits, "." as
// decimal point, plain between 0.0001 and 10^15, otherwise "1.5E20" style.
#include <string>

namespace tarnvex::json {

// Non-finite values give "NAN", "INF" and "-INF".
std::string FloatToText(double value);

}  // namespace tarnvex::json
