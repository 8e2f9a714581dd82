#include "boards/DLLObj.h"

namespace korax::boards {

TCustomDLLObject::TCustomDLLObject(platform::Clock& clock, bool firstInstance)
    : TBaseDLLObject(clock, firstInstance) {
    SetEnLog(false);
    VendorLibLoaded_ = false;
}

TCustomDLLObject::~TCustomDLLObject() {
    Shutdown();
}

void TCustomDLLObject::Shutdown() {
    if (Closed_) return;
    SetEnLog(true);
    SetCommLink(true);
    SetEnCommLink(true);
    CloseDriver();
}

} // namespace korax::boards
