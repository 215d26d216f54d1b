#include "framework/toolbar_manager.h"

#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace morvex {

namespace {

struct Tip {
    int32_t button;
    std::string_view text;
};

// "Go to the Next Record" is listed twice, first and sixth.
constexpr Tip Tips[] = {
    {ToolbarDown, "Go to the Next Record"},   {ToolbarUp, "Go to the Prior Record"},
    {ToolbarPageDown, "Go to the Next Page"}, {ToolbarPageUp, "Go to the Prior Page"},
    {ToolbarTop, "Go to the First Page"},     {ToolbarDown, "Go to the Next Record"},
    {ToolbarBottom, "Go to the Last Page"},   {ToolbarInsert, "Insert a new Record"},
};

constexpr std::size_t tip_block_size() {
    std::size_t size = 1;
    for (const Tip& tip : Tips)
        size += 3 + tip.text.size();
    return size;
}

constexpr std::array<uint8_t, tip_block_size()> build_tip_block() {
    std::array<uint8_t, tip_block_size()> block{};
    std::size_t at = 0;
    block[at++] = static_cast<uint8_t>(std::size(Tips));
    for (const Tip& tip : Tips) {
        block[at++] = static_cast<uint8_t>(tip.button & 0xFF);
        block[at++] = static_cast<uint8_t>(tip.button >> 8);
        block[at++] = static_cast<uint8_t>(tip.text.size());
        for (const char c : tip.text)
            block[at++] = static_cast<uint8_t>(c);
    }
    return block;
}

constexpr std::array<uint8_t, tip_block_size()> TipBlock = build_tip_block();

} // namespace

void ToolbarManager::DisplayButtons() {
    if (m_current)
        m_current->DisplayButtons();
}

void ToolbarManager::Kill() {
    LIST.reset();
    m_current = nullptr;
}

void ToolbarManager::TakeEvent(int32_t* navigation_request, WindowController& controller) {
    if (m_current)
        m_current->TakeEvent(navigation_request, controller);
}

void ToolbarManager::Init() {
    LIST = std::make_unique<std::vector<ToolbarTargetRecord>>();
    LIST->push_back(ToolbarTargetRecord{0, nullptr});
    m_current = nullptr;
}

void ToolbarManager::AddTarget(ToolbarTarget& target, int32_t control) {
    if (!LIST)
        Init();
    target.CONTROL = control;
    const auto at = std::upper_bound(LIST->begin(), LIST->end(), control,
                                     [](int32_t id, const ToolbarTargetRecord& r) { return id < r.ID; });
    LIST->insert(at, ToolbarTargetRecord{control, &target});
}

void ToolbarManager::RemoveTarget(ToolbarTarget& target) {
    if (m_current == &target)
        m_current = nullptr;
    if (LIST)
        std::erase_if(*LIST, [&](const ToolbarTargetRecord& r) { return r.ITEM == &target; });
}

void ToolbarManager::SetTarget(int32_t control) {
    if (!LIST)
        return;
    if (control != 0) {
        for (const ToolbarTargetRecord& record : *LIST) {
            if (record.ID == control && record.ITEM) {
                m_current = record.ITEM;
                m_current->TakeToolbar();
                return;
            }
        }
        return;
    }
    for (const ToolbarTargetRecord& record : *LIST)
        if (record.ITEM && record.ITEM->TryTakeToolbar())
            m_current = record.ITEM;
}

std::span<const uint8_t> ToolbarTipBlock() {
    return TipBlock;
}

void SetToolbarTips(Window& window) {
    const std::span<const uint8_t> block = ToolbarTipBlock();
    std::size_t at = 1;
    for (std::size_t i = 0; i < block[0] && at + 3 <= block.size(); ++i) {
        const int32_t button = block[at] | (block[at + 1] << 8);
        const std::size_t length = block[at + 2];
        at += 3;
        if (at + length > block.size())
            return;
        const std::string_view text(reinterpret_cast<const char*>(block.data()) + at, length);
        at += length;
        if (window.control(button))
            SetProperty(&window, button, Prop::Tip, text);
    }
}

} // namespace morvex
