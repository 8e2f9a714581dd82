#pragma once
#include "boards/DLLObj.h"

namespace korax::boards {

// The model-specific driver object the exports create.
class TDLLObject : public TCustomDLLObject {
public:
    TDLLObject(platform::Clock& clock, bool firstInstance);
    ~TDLLObject() override;
};

} // namespace korax::boards
