// The benchmark pairs over one world.
#pragma once

#include "world.h"

namespace bench {

// Registers every pair's two benchmarks; `world` outlives the run.
void RegisterPairs(World& world);

} // namespace bench
