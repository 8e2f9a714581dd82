#pragma once
// A parameter block as JSON, for people who prepare configurations with their own tools. The text holds
// every field the block defines; unused slots still at their factory values are left out, and a field
// left out of a text takes its factory value. Bytes the block does not define (padding, spare areas, the
// tail of a name) never appear: they come from the block the text is applied to.
#include <string>
#include <string_view>

#include "pdb/BlockFields.h"

namespace korax::tools::pdb {

inline constexpr std::string_view JsonFormatName = "korax24-pdb/1";

std::string BlockToJson(const DevicePDB& block);

// Sets every defined field of `block` from the text (factory values where it says nothing) and keeps
// the rest of its bytes. Unless `raw`, values must be ones the wizard offers for the board's model; with
// it any value its field can hold is taken, so every block converts back exactly. A text it
// cannot take fails, naming where in the text the problem is; the block may then be half-changed.
Status BlockFromJson(std::string_view text, DevicePDB& block, bool raw);

} // namespace korax::tools::pdb
