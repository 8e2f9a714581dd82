#pragma once
// Parameter blocks for wizard sessions, and a board page run on its own.
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "HeadlessView.h"
#include "config/DevicePDB.h"
#include "config/Models.h"
#include "wizard/BoardPage.h"
#include "wizard/WizardFlow.h"

namespace korax::test {

inline std::unique_ptr<config::DevicePDB> DefaultBlock() {
    auto block = std::make_unique<config::DevicePDB>();
    config::FillDefaultPDB(*block);
    return block;
}

inline void PutBoard(config::DevicePDB& block, int slot, std::uint8_t model, std::uint32_t base = 0x220) {
    config::BoardEntry& entry = block.Boards[slot];
    entry.BoardNo = slot;
    entry.DevType = model;
    config::SetShortString(entry.DevName, config::DevNameSize, config::Models[model].Name);
    entry.BaseAddress = base;
}

// Every byte of a block, padding included.
inline std::vector<std::uint8_t> Bytes(const config::DevicePDB& block) {
    std::vector<std::uint8_t> bytes(sizeof block);
    std::memcpy(bytes.data(), &block, sizeof block);
    return bytes;
}

inline std::string Name(const config::BoardEntry& entry) {
    return config::ShortStringText(entry.DevName, config::DevNameSize);
}

// The board page alone, on a working block of its own: `body` plays the user while the page is open.
struct BoardSession {
    std::unique_ptr<wizard::WizardState> wizard = std::make_unique<wizard::WizardState>();

    explicit BoardSession(wizard::OperationMode mode = wizard::OperationMode::Modify) {
        config::FillDefaultPDB(wizard->WorkingBlock);
        wizard->WizardMode = mode;
    }
    config::DevicePDB& Block() { return wizard->WorkingBlock; }

    void Run(const std::function<void(HeadlessView&, wizard::BoardPage&)>& body) {
        std::unique_ptr<wizard::BoardPage> page;
        HeadlessView view(PageClass::Board, [&](HeadlessView& v) { body(v, *page); });
        page = std::make_unique<wizard::BoardPage>(*wizard, view);
        view.Show(*page);
    }
};

} // namespace korax::test
