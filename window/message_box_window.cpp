#include "window/message_box_window.h"

#include "platform/window_messages.h"
#include "runtime/locale.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/engine_object.h"
#include "window/painter/font.h"
#include "window/painter/text_layout.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr int Margin = 12;
constexpr int IconSide = 32;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr int ButtonGap = 6;
constexpr int MaxTextWidth = 420;
constexpr int32_t FirstButtonFeq = 3;

uint32_t system_icon(platform::MessageBoxIcon icon) {
    switch (icon) {
    case platform::MessageBoxIcon::Stop:
        return 32513;
    case platform::MessageBoxIcon::Question:
        return 32514;
    case platform::MessageBoxIcon::Exclamation:
        return 32515;
    case platform::MessageBoxIcon::Information:
        return 32516;
    case platform::MessageBoxIcon::None:
        break;
    }
    return 0;
}

// The environment file's caption of a button (index as ButtonCaption counts).
std::string caption_of(platform::MessageBoxButton button) {
    switch (button) {
    case platform::ButtonOk:
        return std::string(ButtonCaption(0));
    case platform::ButtonYes:
        return std::string(ButtonCaption(1));
    case platform::ButtonNo:
        return std::string(ButtonCaption(2));
    case platform::ButtonAbort:
        return std::string(ButtonCaption(3));
    case platform::ButtonRetry:
        return std::string(ButtonCaption(4));
    case platform::ButtonIgnore:
        return std::string(ButtonCaption(5));
    case platform::ButtonCancel:
        return std::string(ButtonCaption(6));
    }
    return {};
}

ControlDefinition control_at(uint8_t type, int32_t feq, const platform::Rect& rect) {
    ControlDefinition control;
    control.type = type;
    control.feq = feq;
    control.x = rect.left;
    control.y = rect.top;
    control.width = rect.width();
    control.height = rect.height();
    return control;
}

} // namespace

platform::MessageBoxButton RunMessageBox(const platform::MessageBoxRequest& request) {
    const auto buttons = platform::message_box_buttons(request.buttons);
    const std::shared_ptr<painter::Font> font = FontOfDefinition(nullptr);
    const uint32_t icon = system_icon(request.icon);

    // The text wraps at a width that keeps lines readable.
    int text_width = 0, text_height = 0;
    if (font) {
        painter::TextFormat format;
        format.word_break = true;
        const auto lines = painter::layout_text(platform::Rect::FromSize(0, 0, MaxTextWidth, 10000),
                                                request.text, *font, format);
        const platform::Rect bounds = painter::text_bounds(lines, *font);
        text_width = std::max(bounds.width(), 1);
        text_height = std::max(bounds.height(), font->metrics().height);
    }
    const int text_left = Margin + (icon ? IconSide + Margin : 0);
    const int text_top = Margin + (icon && text_height < IconSide ? (IconSide - text_height) / 2 : 0);
    const int content_bottom = std::max(text_top + text_height, icon ? Margin + IconSide : 0);
    const int row_width =
        static_cast<int>(buttons.size()) * ButtonWidth + static_cast<int>(buttons.size() - 1) * ButtonGap;
    const int width = std::max(text_left + text_width + Margin, row_width + 2 * Margin);
    const int buttons_top = content_bottom + Margin + 4;

    std::vector<ControlDefinition> controls;
    if (icon) {
        ControlDefinition image =
            control_at(wdf::ImageControl, 1, platform::Rect::FromSize(Margin, Margin, IconSide, IconSide));
        image.icon.kind = ImageReference::Kind::System;
        image.icon.id = icon;
        controls.push_back(image);
    }
    ControlDefinition text = control_at(
        wdf::PromptControl, 2, platform::Rect::FromSize(text_left, text_top, text_width + 2, text_height));
    // "&" in a message is a character, not a mnemonic marker.
    for (const char c : request.text)
        text.text += c == '&' ? std::string("&&") : std::string(1, c);
    controls.push_back(text);
    int x = (width - row_width) / 2;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        ControlDefinition button =
            control_at(wdf::ButtonControl, FirstButtonFeq + static_cast<int32_t>(i),
                       platform::Rect::FromSize(x, buttons_top, ButtonWidth, ButtonHeight));
        button.text = caption_of(buttons[i].first);
        if (buttons[i].first == request.default_button)
            button.attributes |= AttrDefault;
        controls.push_back(button);
        x += ButtonWidth + ButtonGap;
    }

    WindowDefinition definition;
    definition.caption = request.caption;
    definition.attributes2 = wdf::WinModal;
    definition.width = DefaultPosition;
    definition.height = DefaultPosition;
    Window box;
    box.LoadDefinition(definition, std::move(controls), UnitMetricsOf(nullptr));
    box.Open();
    // The default button takes the focus, so that Enter and Space press it.
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].first == request.default_button)
            box.focus(box.control(FirstButtonFeq + static_cast<int32_t>(i)));

    const auto has = [&](platform::MessageBoxButton b) {
        return std::any_of(buttons.begin(), buttons.end(),
                           [b](const auto& entry) { return entry.first == b; });
    };
    // Escape and the close box: Cancel, or OK when it stands alone.
    const std::optional<platform::MessageBoxButton> escape =
        has(platform::ButtonCancel) ? std::optional(platform::ButtonCancel)
        : buttons.size() == 1       ? std::optional(buttons.front().first)
                                    : std::nullopt;
    if (const auto answer = platform::take_queued_message_box_answer()) {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i].first == *answer)
                PostEvent(box, Event::Accepted, FirstButtonFeq + static_cast<int32_t>(i));
        if (*answer == platform::ButtonCancel && !has(platform::ButtonCancel))
            PostEvent(box, Event::CloseWindow);
    }
    platform::MessageBoxButton result = escape.value_or(request.default_button);
    ACCEPT(box, [&] {
        switch (EVENT()) {
        case Event::Accepted: {
            const int32_t index = FIELD() - FirstButtonFeq;
            if (index >= 0 && static_cast<std::size_t>(index) < buttons.size()) {
                result = buttons[static_cast<std::size_t>(index)].first;
                return LoopOutcome::Left;
            }
            return LoopOutcome::Completed;
        }
        case Event::CloseWindow:
            if (escape)
                return LoopOutcome::Completed;
            // Escape leaves a box without Cancel alone; its close box answers
            // Cancel, a way out that none of its buttons stands for.
            if (KEYCODE() == platform::VkEscape)
                return LoopOutcome::Cycled;
            result = platform::ButtonCancel;
            return LoopOutcome::Completed;
        default:
            return LoopOutcome::Completed;
        }
    });
    box.Close();
    return result;
}

void InstallDrawnMessageBoxes() {
    platform::set_message_box_presenter(RunMessageBox);
}

} // namespace morvex
