// korax-pdb: device parameter blocks from the command line, for integrators and service engineers who
// prepare configurations without the host runtime.
#include <sstream>

#include "common/Console.h"
#include "pdb/PdbTool.h"

int main(int argc, char** argv) {
    using namespace korax::tools;
    std::ostringstream out;
    std::ostringstream err;
    const int code = pdb::RunPdbTool(Utf8Arguments(argc, argv), out, err);
    WriteUtf8(Stream::Out, out.str());
    WriteUtf8(Stream::Error, err.str());
    return code;
}
