// ErrorReporter: turns an error number into a message for the user. It holds
// a table of entries (id, severity level, title, message with %-placeholders)
// added from error table blocks, fills the placeholders from the error state
// the caller recorded, shows the message in a box whose icon and buttons
// follow from the level, and returns a level that tells the caller how to go
// on. It also keeps each thread's stack of running procedure names, which
// fills "%Procedure".
//
// One reporter serves the whole program; all its callers run under the
// runtime lock.
#pragma once

#include "platform/message_box.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// Severity levels: the entries' levels, and the results of Throw and the
// handlers. Callers treat Benign as go on, Cancel as the user declined, Notify
// as failed-and-told; Fatal never returns.
namespace Level {
constexpr int Benign = 0;
constexpr int User = 1;
constexpr int Program = 2;
constexpr int Fatal = 3;
constexpr int Cancel = 4;
constexpr int Notify = 5;
} // namespace Level

// One entry of the error queue. Title and message refer into the block the
// entry was added from, which must outlive the reporter.
struct ErrorEntry {
    uint16_t ID = 0;
    std::string_view MESSAGE;
    std::string_view TITLE;
    uint8_t FATALITY = 0;
};

// One record of the procedure name stack.
struct ProcedureNameRecord {
    int32_t THREAD = 0;
    std::string NAME;
};

class ErrorReporter {
public:
    // Texts for the placeholders are cut to this many characters.
    static constexpr std::size_t TextLimit = 255;
    // The substituted message is cut to this many characters.
    static constexpr std::size_t WorkBufferSize = 2000;

    ErrorReporter() = default;
    virtual ~ErrorReporter();
    ErrorReporter(const ErrorReporter&) = delete;
    ErrorReporter& operator=(const ErrorReporter&) = delete;

    // The method table, in slot order.
    // Appends the entries of an error table block; nothing is copied. A
    // block that ends inside an entry adds the entries before it.
    virtual void AddErrors(std::span<const uint8_t> block);
    virtual int TakeBenign();
    // Shows the current entry as a fatal message and halts the program.
    virtual int TakeFatal();
    virtual void TakeNotify();
    virtual int TakeOther();
    virtual int TakeProgram();
    virtual int TakeUser();

    void Init();
    void Kill();
    void SetErrors();
    void SetFile(std::string_view name);
    void SetField(std::string_view name);
    int ThrowMessage(uint16_t id, std::string_view text);
    int Throw(uint16_t id);
    int TakeError(uint16_t id);
    // Shows the entry with the caller's buttons; the button pressed.
    platform::MessageBoxButton Message(uint16_t id, platform::MessageBoxButtons buttons,
                                       platform::MessageBoxButton default_button);
    // Makes the newest entry with this id current: Benign when found, Notify
    // when not (the current entry is then the stand-in "Unknown error").
    int FindError(uint16_t id);
    std::string SubsString();

    enum class NameStack { Push, Pop };
    void SetProcedureName(std::string_view name, NameStack action = NameStack::Push);
    std::string GetProcedureName();
    // The innermost name a thread pushed (empty when none), without making
    // its record current.
    std::string NameOnThread(int32_t thread) const;

    // The entry FindError made current.
    const ErrorEntry& current() const;

    std::unique_ptr<std::vector<ErrorEntry>> ERRORS;
    std::string FIELDNAME;
    std::string FILENAME;
    std::string MESSAGETEXT;
    std::unique_ptr<std::vector<ProcedureNameRecord>> PROCNAMES;
    std::string SAVEERROR;
    int32_t SAVEERRORCODE = 0;
    std::string SAVEFILEERROR;
    std::string SAVEFILEERRORCODE;

private:
    // Shows the substituted message of the current entry.
    platform::MessageBoxButton show(std::string text, platform::MessageBoxIcon icon,
                                    platform::MessageBoxButtons buttons,
                                    platform::MessageBoxButton default_button);
    // The newest record of the thread's names.
    std::optional<std::size_t> name_record(int32_t thread) const;
    std::size_t m_current = 0;
    bool m_unknown = false; // the last FindError found nothing: the stand-in is current
    std::string m_unknown_message;
    ErrorEntry m_stand_in{0, {}, "Unknown error", Level::Notify};
    std::size_t m_name_record = 0; // the record the last GetProcedureName found
};

// The default error table as an error table block.
std::span<const uint8_t> DefaultErrorBlock();

} // namespace morvex
