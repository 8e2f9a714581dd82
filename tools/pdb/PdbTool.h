#pragma once
// The commands of korax-pdb, callable in-process: arguments as the command line gives them (the first is
// the program's name), UTF-8 text out. Returns the process exit code (common/ExitCodes.h): Done,
// BadInput for a file or value it cannot take, BadCommandLine for a command line it does not understand;
// nothing is written then.
#include <ostream>
#include <string>
#include <vector>

namespace korax::tools::pdb {

int RunPdbTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace korax::tools::pdb
