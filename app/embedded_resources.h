#pragma once
// Resources embedded into the program at build time, found by name.
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace tarnvex::app {

// "Resource %s not found".
TARNVEX_EXCEPTION(EResNotFound, Exception);

// The bytes of the resource `name` as 8-bit text; EResNotFound when the
// program holds no resource of that name.
std::string LoadResource(std::string_view name);

}  // namespace tarnvex::app
