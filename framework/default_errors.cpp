// The default error table, kept as an error table block in static data (the
// entries' texts are referred to, never copied): a 2-byte entry count, then
// each entry as a 2-byte id, the level, and the title and message each as a
// length byte followed by the text. The block is built at compile time from
// the table below.
#include "framework/error_reporter.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace morvex {

namespace {

struct DefaultError {
    uint16_t id;
    int level;
    std::string_view title;
    std::string_view message;
};

constexpr DefaultError DefaultErrors[] = {
    {27, Level::Notify, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {26, Level::Fatal, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {10, Level::Fatal, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {24, Level::Notify, "Procedure not defined", "The Procedure %Message has not been defined."},
    {17, Level::Notify, "Range Error", "The value of %Field must be lower than %Message."},
    {18, Level::Notify, "Range Error", "The value of %Field must be higher than %Message."},
    {16, Level::Notify, "Range Error", "The value of %Field must be between %Message."},
    {14, Level::Notify, "Field contents error", "The value of %Field must be found in the %Message file."},
    {31, Level::Notify, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from change and "
     "have been reset to original values."},
    {30, Level::Notify, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these references "
     "exist."},
    {4, Level::Notify, "Record Insert Error",
     "An error was experienced during the creation of a record. Error: %ErrorText."},
    {6, Level::Notify, "Record Was Not Updated", "This record was changed by another station."},
    {7, Level::Notify, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button "
     "or Ctrl+' to recall your changes."},
    {34, Level::User, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {33, Level::User, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {20, Level::Notify, "Invalid Request", "This form cannot be used to insert a record"},
    {38, Level::Notify, "Invalid Request", "This form cannot be used to update a record"},
    {12, Level::Notify, "Invalid Request", "This form cannot be used to delete a record"},
    {8, Level::User, "Changes will be lost!", "Are you sure you want to cancel?"},
    {13, Level::Notify, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {32, Level::User, "Auto Increment Error",
     "Attempts to automatically number this record have failed.  Error: %ErrorText. Try Again?"},
    {19, Level::Notify, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {36, Level::User, "Beginning of File Error",
     "The beginning of the file was encountered. Do you want to start again from the end of the file?"},
    {37, Level::User, "End of File Error",
     "The end of the file was encountered. Do you want to start again from the beginning?"},
    {23, Level::Fatal, "File Access Error", "File (%File) could not be opened.  Error: %ErrorText."},
    {25, Level::Notify, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {11, Level::Notify, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {9, Level::User, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {35, Level::User, "Save Record", "Do you want to save the changes to this record?"},
    {21, Level::Notify, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {1, Level::Notify, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to previous window."},
    {40, Level::Notify, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {3, Level::User, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {28, Level::Notify, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {5, Level::Notify, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {15, Level::Notify, "Value Error", "The value of %Field must be in the list : %Message."},
    {22, Level::Notify, "No Records", "There are no records available to process."},
    {2, Level::Notify, "Access Denied", "Could not get write access to %File so trying read-only."},
    {39, Level::Program, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {41, Level::Notify, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
};

constexpr std::size_t block_size() {
    std::size_t size = 2;
    for (const DefaultError& e : DefaultErrors)
        size += 3 + 1 + e.title.size() + 1 + e.message.size();
    return size;
}

constexpr std::array<uint8_t, block_size()> build_block() {
    std::array<uint8_t, block_size()> block{};
    std::size_t at = 0;
    const auto put = [&](std::size_t value) { block[at++] = static_cast<uint8_t>(value); };
    const auto put_text = [&](std::string_view text) {
        put(text.size());
        for (const char c : text)
            put(static_cast<unsigned char>(c));
    };
    constexpr std::size_t count = std::size(DefaultErrors);
    put(count & 0xFF);
    put(count >> 8);
    for (const DefaultError& e : DefaultErrors) {
        put(e.id & 0xFF);
        put(e.id >> 8);
        put(static_cast<std::size_t>(e.level));
        put_text(e.title);
        put_text(e.message);
    }
    return block;
}

// Every title and message fits its length byte.
constexpr bool texts_fit() {
    for (const DefaultError& e : DefaultErrors)
        if (e.title.size() > 255 || e.message.size() > 255)
            return false;
    return true;
}
static_assert(texts_fit());

constexpr std::array<uint8_t, block_size()> DefaultBlock = build_block();

} // namespace

std::span<const uint8_t> DefaultErrorBlock() {
    return DefaultBlock;
}

} // namespace morvex
