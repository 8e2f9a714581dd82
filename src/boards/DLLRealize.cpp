#include "boards/DLLRealize.h"

namespace korax::boards {

TDLLObject::TDLLObject(platform::Clock& clock, bool firstInstance) : TCustomDLLObject(clock, firstInstance) {}

TDLLObject::~TDLLObject() {
    Shutdown();
}

} // namespace korax::boards
