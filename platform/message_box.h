// Message boxes: a caption, an icon, a text and a set of buttons, answered
// with the button chosen. The window engine installs a presenter that draws
// the box as a modal window; until then (and in every headless run) the box
// is written to standard error and answered with its default button, or with
// an answer a test queued beforehand.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvex::platform {

enum class MessageBoxIcon { None, Stop, Question, Exclamation, Information };

enum MessageBoxButton : unsigned {
    ButtonOk = 1,
    ButtonCancel = 2,
    ButtonAbort = 3,
    ButtonRetry = 4,
    ButtonIgnore = 5,
    ButtonYes = 6,
    ButtonNo = 7,
};

// Which buttons a box offers, in display order.
enum class MessageBoxButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };

struct MessageBoxRequest {
    std::string caption;
    std::string text; // Windows-1252
    MessageBoxIcon icon = MessageBoxIcon::None;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    MessageBoxButton default_button = ButtonOk;
};

// Shows the box and returns the button chosen.
MessageBoxButton show_message_box(const MessageBoxRequest& request);

using MessageBoxPresenter = std::function<MessageBoxButton(const MessageBoxRequest&)>;
// Replaces the presenter; an empty one restores the standard-error form.
void set_message_box_presenter(MessageBoxPresenter presenter);
// The next box is answered with this button (by the standard-error form, or
// by a presenter that takes queued answers, as the drawn boxes do).
void queue_message_box_answer(MessageBoxButton answer);
// Takes the oldest queued answer, if any.
std::optional<MessageBoxButton> take_queued_message_box_answer();
// The buttons of a set in display order, with their English captions.
std::vector<std::pair<MessageBoxButton, const char*>> message_box_buttons(MessageBoxButtons buttons);

} // namespace morvex::platform
