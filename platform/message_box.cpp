#include "platform/message_box.h"

#include "platform/charset.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace morvex::platform {

namespace {

struct Boxes {
    std::mutex mutex;
    MessageBoxPresenter presenter;
    std::deque<MessageBoxButton> answers;
};

Boxes& boxes() {
    static Boxes* instance = new Boxes; // lives until the process ends
    return *instance;
}

const char* icon_name(MessageBoxIcon icon) {
    switch (icon) {
    case MessageBoxIcon::Stop:
        return "stop";
    case MessageBoxIcon::Question:
        return "question";
    case MessageBoxIcon::Exclamation:
        return "exclamation";
    case MessageBoxIcon::Information:
        return "information";
    case MessageBoxIcon::None:
        break;
    }
    return "none";
}

using ButtonNames = std::vector<std::pair<MessageBoxButton, const char*>>;

} // namespace

ButtonNames message_box_buttons(MessageBoxButtons buttons) {
    switch (buttons) {
    case MessageBoxButtons::OkCancel:
        return {{ButtonOk, "OK"}, {ButtonCancel, "Cancel"}};
    case MessageBoxButtons::AbortRetryIgnore:
        return {{ButtonAbort, "Abort"}, {ButtonRetry, "Retry"}, {ButtonIgnore, "Ignore"}};
    case MessageBoxButtons::YesNoCancel:
        return {{ButtonYes, "Yes"}, {ButtonNo, "No"}, {ButtonCancel, "Cancel"}};
    case MessageBoxButtons::YesNo:
        return {{ButtonYes, "Yes"}, {ButtonNo, "No"}};
    case MessageBoxButtons::RetryCancel:
        return {{ButtonRetry, "Retry"}, {ButtonCancel, "Cancel"}};
    case MessageBoxButtons::Ok:
        break;
    }
    return {{ButtonOk, "OK"}};
}

namespace {

// The box on standard error: caption and icon, the text, then the buttons
// with the default one in brackets and the answer given.
MessageBoxButton write_to_standard_error(const MessageBoxRequest& request,
                                         std::deque<MessageBoxButton>& answers) {
    MessageBoxButton answer = request.default_button;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    std::string line = "[" + windows1252_to_utf8(request.caption) + "] (" + icon_name(request.icon) + ")\n" +
                       windows1252_to_utf8(request.text) + "\nbuttons:";
    const char* answer_name = "?";
    for (const auto& [button, name] : message_box_buttons(request.buttons)) {
        line += button == request.default_button ? std::string(" [") + name + "]" : std::string(" ") + name;
        if (button == answer)
            answer_name = name;
    }
    line += std::string("\nanswer: ") + answer_name + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return answer;
}

} // namespace

MessageBoxButton show_message_box(const MessageBoxRequest& request) {
    Boxes& b = boxes();
    MessageBoxPresenter presenter;
    {
        std::lock_guard lock(b.mutex);
        if (!b.presenter)
            return write_to_standard_error(request, b.answers);
        presenter = b.presenter;
    }
    return presenter(request);
}

void set_message_box_presenter(MessageBoxPresenter presenter) {
    Boxes& b = boxes();
    std::lock_guard lock(b.mutex);
    b.presenter = std::move(presenter);
}

void queue_message_box_answer(MessageBoxButton answer) {
    Boxes& b = boxes();
    std::lock_guard lock(b.mutex);
    b.answers.push_back(answer);
}

std::optional<MessageBoxButton> take_queued_message_box_answer() {
    Boxes& b = boxes();
    std::lock_guard lock(b.mutex);
    if (b.answers.empty())
        return std::nullopt;
    const MessageBoxButton answer = b.answers.front();
    b.answers.pop_front();
    return answer;
}

} // namespace morvex::platform
