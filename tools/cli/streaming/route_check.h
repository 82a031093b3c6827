// The routes checked against the open driver (routing.h says what is refused).
#pragma once

#include <vector>

#include "streaming/routing.h"

namespace cli {

bool checkOutputs(const std::vector<Route>& routes);

}  // namespace cli
