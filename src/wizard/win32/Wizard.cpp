#include "wizard/win32/Wizard.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <memory>

#include "wizard/WizardFlow.h"
#include "wizard/win32/DialogView.h"

namespace korax::wizard::win32 {

namespace {

// Makes each page a dialog owned by the host's window, so that every page stays in front of it.
class DialogFactory final : public ViewFactory {
public:
    explicit DialogFactory(HWND owner) : owner_(owner) {}
    std::unique_ptr<PageView> CreatePage(PageClass page) override {
        return std::make_unique<DialogView>(page, owner_);
    }

private:
    HWND owner_;
};

} // namespace

std::int32_t EditDevice(void* ownerWindow, config::DevicePDB* hostBlock) {
    // The board page's tree and tabs.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    // A handle that names no window would make every page fail to open; the pages then go unowned instead.
    HWND owner = static_cast<HWND>(ownerWindow);
    if (owner != nullptr && IsWindow(owner) == FALSE) owner = nullptr;
    DialogFactory views(owner);
    return wizard::EditDevice(hostBlock, views);
}

} // namespace korax::wizard::win32
