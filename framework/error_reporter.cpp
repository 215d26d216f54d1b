#include "framework/error_reporter.h"

#include "runtime/error_state.h"
#include "runtime/fatal_error.h"
#include "runtime/string_ops.h"
#include "runtime/threads.h"

#include <algorithm>

namespace morvex {

namespace {

using platform::MessageBoxButton;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;

// The runtime's error code for an error the file driver reports in its own terms.
constexpr int32_t DriverOwnError = 90;

constexpr std::string_view UnknownErrorTitle = "Unknown error";
constexpr std::string_view FatalSuffix = "  Press OK to end this application";

std::string cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// Replaces every occurrence of `placeholder` (compared in upper case) by
// `value`, going on after each inserted value; the text stays within `limit`.
void substitute(std::string& text, std::string_view placeholder, std::string_view value, std::size_t limit) {
    const std::string key = UPPER(placeholder);
    std::string upper = UPPER(text);
    std::size_t from = 0;
    while (true) {
        const std::size_t at = upper.find(key, from);
        if (at == std::string::npos)
            return;
        text.replace(at, placeholder.size(), value);
        upper.replace(at, placeholder.size(), UPPER(value));
        if (text.size() > limit) {
            text.resize(limit);
            upper.resize(limit);
        }
        from = at + value.size();
    }
}

} // namespace

ErrorReporter::~ErrorReporter() = default;

void ErrorReporter::Init() {
    ERRORS = std::make_unique<std::vector<ErrorEntry>>();
    AddErrors(DefaultErrorBlock());
    PROCNAMES = std::make_unique<std::vector<ProcedureNameRecord>>();
}

void ErrorReporter::Kill() {
    ERRORS.reset();
    PROCNAMES.reset();
    m_current = 0;
}

void ErrorReporter::AddErrors(std::span<const uint8_t> block) {
    if (!ERRORS || block.size() < 2)
        return;
    const std::size_t count = block[0] | (block[1] << 8);
    std::size_t at = 2;
    // A text of the block: its length byte, then the text; empty when the
    // block ends first (the caller then stops).
    const auto text = [&](std::string_view& out) {
        if (at >= block.size() || at + 1 + block[at] > block.size())
            return false;
        out = std::string_view(reinterpret_cast<const char*>(block.data()) + at + 1, block[at]);
        at += 1 + block[at];
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 3 > block.size())
            return;
        ErrorEntry entry;
        entry.ID = static_cast<uint16_t>(block[at] | (block[at + 1] << 8));
        entry.FATALITY = block[at + 2];
        at += 3;
        if (!text(entry.TITLE) || !text(entry.MESSAGE))
            return;
        ERRORS->push_back(entry);
    }
}

int ErrorReporter::TakeBenign() {
    return Level::Benign;
}

int ErrorReporter::TakeFatal() {
    show(SubsString() + std::string(FatalSuffix), MessageBoxIcon::Information, MessageBoxButtons::Ok,
         platform::ButtonOk);
    HALT(0, current().TITLE);
}

void ErrorReporter::TakeNotify() {
    show(SubsString(), MessageBoxIcon::Information, MessageBoxButtons::Ok, platform::ButtonOk);
}

int ErrorReporter::TakeOther() {
    return TakeProgram();
}

int ErrorReporter::TakeProgram() {
    return TakeFatal();
}

int ErrorReporter::TakeUser() {
    const MessageBoxButton answer =
        show(SubsString(), MessageBoxIcon::Exclamation, MessageBoxButtons::YesNo, platform::ButtonYes);
    return answer == platform::ButtonYes ? Level::Benign : Level::Cancel;
}

void ErrorReporter::SetErrors() {
    SAVEERRORCODE = ErrorCode();
    SAVEERROR = cut(ErrorText(), TextLimit);
    SAVEFILEERROR = cut(ErrorExtraText(), TextLimit);
    SAVEFILEERRORCODE = OsErrorCode() != 0 ? std::to_string(OsErrorCode()) : std::string();
}

void ErrorReporter::SetFile(std::string_view name) {
    FILENAME = cut(name, TextLimit);
}

void ErrorReporter::SetField(std::string_view name) {
    FIELDNAME = cut(name, TextLimit);
}

int ErrorReporter::ThrowMessage(uint16_t id, std::string_view text) {
    MESSAGETEXT = cut(text, TextLimit);
    return Throw(id);
}

int ErrorReporter::Throw(uint16_t id) {
    SetErrors();
    return TakeError(id);
}

int ErrorReporter::TakeError(uint16_t id) {
    FindError(id);
    switch (current().FATALITY) {
    case Level::Benign:
        return TakeBenign();
    case Level::User:
    case Level::Cancel:
        return TakeUser();
    case Level::Program:
        return TakeProgram();
    case Level::Fatal:
        return TakeFatal();
    case Level::Notify:
        TakeNotify();
        return Level::Notify;
    default:
        return TakeOther();
    }
}

MessageBoxButton ErrorReporter::Message(uint16_t id, MessageBoxButtons buttons,
                                        MessageBoxButton default_button) {
    FindError(id);
    return show(SubsString(), MessageBoxIcon::Exclamation, buttons, default_button);
}

int ErrorReporter::FindError(uint16_t id) {
    m_unknown = false;
    if (ERRORS) {
        for (std::size_t i = ERRORS->size(); i-- > 0;) {
            if ((*ERRORS)[i].ID == id) {
                m_current = i;
                return Level::Benign;
            }
        }
    }
    // No entry: a stand-in that names the number, rather than whatever entry
    // happens to be current.
    m_unknown = true;
    m_unknown_message = "There is no message for error number " + std::to_string(id) + ".";
    m_stand_in = ErrorEntry{id, m_unknown_message, UnknownErrorTitle, Level::Notify};
    return Level::Notify;
}

const ErrorEntry& ErrorReporter::current() const {
    if (m_unknown || !ERRORS || m_current >= ERRORS->size())
        return m_stand_in;
    return (*ERRORS)[m_current];
}

std::string ErrorReporter::SubsString() {
    std::string text = cut(current().MESSAGE, WorkBufferSize);
    const std::string error_text = SAVEERRORCODE == DriverOwnError
                                       ? SAVEFILEERROR + " (" + SAVEFILEERRORCODE + ")"
                                       : SAVEERROR + " (" + std::to_string(SAVEERRORCODE) + ")";
    // Longer placeholders go before those that are their prefixes.
    substitute(text, "%ErrorCode", std::to_string(SAVEERRORCODE), WorkBufferSize);
    substitute(text, "%ErrorText", error_text, WorkBufferSize);
    substitute(text, "%Error", SAVEERROR, WorkBufferSize);
    substitute(text, "%FileErrorCode", SAVEFILEERRORCODE, WorkBufferSize);
    substitute(text, "%FileError", SAVEFILEERROR, WorkBufferSize);
    substitute(text, "%File", FILENAME, WorkBufferSize);
    substitute(text, "%Message", MESSAGETEXT, WorkBufferSize);
    substitute(text, "%Field", FIELDNAME, WorkBufferSize);
    substitute(text, "%Procedure", GetProcedureName(), WorkBufferSize);
    if (UPPER(text).find("%PREVIOUS") != std::string::npos) {
        std::string_view previous;
        if (!m_unknown && ERRORS) {
            const uint16_t id = current().ID;
            for (std::size_t i = m_current; i-- > 0;) {
                if ((*ERRORS)[i].ID == id) {
                    previous = (*ERRORS)[i].MESSAGE;
                    break;
                }
            }
        }
        substitute(text, "%Previous", previous, WorkBufferSize);
    }
    return text;
}

void ErrorReporter::SetProcedureName(std::string_view name, NameStack action) {
    if (!PROCNAMES)
        return;
    if (action == NameStack::Push) {
        PROCNAMES->push_back(ProcedureNameRecord{THREAD(), std::string(name)});
        return;
    }
    if (!GetProcedureName().empty())
        PROCNAMES->erase(PROCNAMES->begin() + static_cast<std::ptrdiff_t>(m_name_record));
}

std::string ErrorReporter::GetProcedureName() {
    const std::optional<std::size_t> record = name_record(THREAD());
    if (!record)
        return {};
    m_name_record = *record;
    return (*PROCNAMES)[*record].NAME;
}

std::string ErrorReporter::NameOnThread(int32_t thread) const {
    const std::optional<std::size_t> record = name_record(thread);
    return record ? (*PROCNAMES)[*record].NAME : std::string();
}

std::optional<std::size_t> ErrorReporter::name_record(int32_t thread) const {
    if (!PROCNAMES)
        return std::nullopt;
    for (std::size_t i = PROCNAMES->size(); i-- > 0;)
        if ((*PROCNAMES)[i].THREAD == thread)
            return i;
    return std::nullopt;
}

MessageBoxButton ErrorReporter::show(std::string text, MessageBoxIcon icon, MessageBoxButtons buttons,
                                     MessageBoxButton default_button) {
    platform::MessageBoxRequest request;
    request.caption = std::string(current().TITLE);
    request.text = std::move(text);
    request.icon = icon;
    request.buttons = buttons;
    request.default_button = default_button;
    return platform::show_message_box(request);
}

} // namespace morvex
