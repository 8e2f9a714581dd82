#pragma once
#include "framework/DLLBase.h"

namespace korax::boards {

// Port-access layer between the driver object and the board models.
class TCustomDLLObject : public framework::TBaseDLLObject {
public:
    TCustomDLLObject(platform::Clock& clock, bool firstInstance);
    ~TCustomDLLObject() override;

protected:
    // Closes the object on destruction with the overrides of the most-derived class still in effect.
    void Shutdown();

    bool VendorLibLoaded_ = false;
};

} // namespace korax::boards
