#pragma once
// A parameter block as a person reads it: the boards with their models, base addresses, wiring and input
// ranges, then every board's gains and output ranges by their labels.
#include <string>

#include "pdb/BlockFields.h"

namespace korax::tools::pdb {

// UTF-8 text, lines ending in '\n'.
std::string BlockTable(const DevicePDB& block);

} // namespace korax::tools::pdb
