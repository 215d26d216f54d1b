// The error reporter: its default table against the published one, entry by
// entry; placeholders; the newest entry of an id and "%Previous"; the
// stand-in for an unknown id; the per-thread name stack; and what each level
// shows and answers, seen through a message-box presenter that records.
#include "framework/error_reporter.h"
#include "runtime/error_state.h"
#include "runtime/fatal_error.h"
#include "runtime/threads.h"

#include <deque>
#include <gtest/gtest.h>
#include <thread>

namespace morvex {
namespace {

using platform::MessageBoxButton;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;

struct PublishedEntry {
    uint16_t id;
    int level;
    std::string_view title;
    std::string_view message;
};

// The default table as published, in order.
constexpr PublishedEntry Published[] = {
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

// Records every box and answers from a queue (the default button when empty).
class RecordingBoxes {
public:
    RecordingBoxes() {
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request);
            if (answers.empty())
                return request.default_button;
            const MessageBoxButton answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~RecordingBoxes() { platform::set_message_box_presenter({}); }
    std::vector<platform::MessageBoxRequest> shown;
    std::deque<MessageBoxButton> answers;
};

class ErrorReporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeThreads();
        errors.Init();
    }
    void TearDown() override { errors.Kill(); }

    // The text "%..." placeholders become for the entry `message`.
    std::string substituted(std::string_view message) {
        entry_texts.push_back(std::string(message));
        const std::string& text = entry_texts.back();
        block.assign({1, 0, 0xF0, 0xF0, 5, 1, 'T'});
        block.push_back(static_cast<uint8_t>(text.size()));
        block.insert(block.end(), text.begin(), text.end());
        blocks.push_back(block);
        errors.AddErrors(blocks.back());
        errors.FindError(0xF0F0);
        return errors.SubsString();
    }

    ErrorReporter errors;
    RecordingBoxes boxes;
    std::vector<uint8_t> block;
    std::deque<std::vector<uint8_t>> blocks;
    std::deque<std::string> entry_texts;
};

std::vector<uint8_t> block_of(const std::vector<PublishedEntry>& entries) {
    std::vector<uint8_t> out{static_cast<uint8_t>(entries.size()), 0};
    for (const PublishedEntry& e : entries) {
        out.insert(out.end(), {static_cast<uint8_t>(e.id), static_cast<uint8_t>(e.id >> 8),
                               static_cast<uint8_t>(e.level)});
        out.push_back(static_cast<uint8_t>(e.title.size()));
        out.insert(out.end(), e.title.begin(), e.title.end());
        out.push_back(static_cast<uint8_t>(e.message.size()));
        out.insert(out.end(), e.message.begin(), e.message.end());
    }
    return out;
}

TEST_F(ErrorReporterTest, TheDefaultTableIsThePublishedOneEntryByEntry) {
    ASSERT_EQ(errors.ERRORS->size(), std::size(Published));
    for (std::size_t i = 0; i < std::size(Published); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        const ErrorEntry& entry = (*errors.ERRORS)[i];
        EXPECT_EQ(entry.ID, Published[i].id);
        EXPECT_EQ(entry.FATALITY, Published[i].level);
        EXPECT_EQ(entry.TITLE, Published[i].title);
        EXPECT_EQ(entry.MESSAGE, Published[i].message);
    }
}

TEST_F(ErrorReporterTest, ABlockCutShortAddsTheEntriesBeforeTheCut) {
    std::vector<uint8_t> cut =
        block_of({{900, Level::Notify, "One", "First"}, {901, Level::Notify, "Two", "Second"}});
    cut.resize(cut.size() - 3); // inside the second message
    const std::size_t before = errors.ERRORS->size();
    errors.AddErrors(cut);
    ASSERT_EQ(errors.ERRORS->size(), before + 1);
    EXPECT_EQ(errors.ERRORS->back().MESSAGE, "First");
    errors.AddErrors(std::span<const uint8_t>(cut.data(), 1));
    EXPECT_EQ(errors.ERRORS->size(), before + 1);
}

TEST_F(ErrorReporterTest, PlaceholdersAreFilledInOrderWhateverTheirCase) {
    SetError(2);
    errors.SetErrors();
    errors.SetFile("Customer");
    errors.SetField("CUS:Name");
    errors.ThrowMessage(0, "a to z"); // sets the message text; id 0 has no entry
    errors.SetProcedureName("Browse");
    struct Row {
        std::string_view message;
        std::string expected;
    };
    const Row rows[] = {
        {"%file and %FILE", "Customer and Customer"},
        {"%FileErrorCode|%FileError|%File", "||Customer"},
        {"%ErrorCode: %Error", "2: File Not Found"},
        {"(%ErrorText)", "(File Not Found (2))"},
        {"%Field in %Message, %Procedure", "CUS:Name in a to z, Browse"},
        {"%Unknown stays", "%Unknown stays"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(substituted(row.message), row.expected) << row.message;
    // A value holding a placeholder is not substituted again by its own pass.
    errors.SetFile("%File");
    EXPECT_EQ(substituted("[%File]"), "[%File]");
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
}

TEST_F(ErrorReporterTest, ErrorTextOfADriverErrorIsTheDriversOwn) {
    SetError(90, "checksum wrong in page 12");
    errors.SetErrors();
    EXPECT_EQ(errors.SAVEFILEERROR, "checksum wrong in page 12");
    EXPECT_EQ(substituted("%ErrorText"), "checksum wrong in page 12 (" + errors.SAVEFILEERRORCODE + ")");
}

TEST_F(ErrorReporterTest, LongTextsAreCut) {
    errors.SetFile(std::string(300, 'f'));
    EXPECT_EQ(errors.FILENAME.size(), ErrorReporter::TextLimit);
    EXPECT_EQ(substituted(std::string(200, ' ') + "%File").size(), 200u + ErrorReporter::TextLimit);
    // 31 messages of 255 characters would be far longer than the work buffer.
    errors.MESSAGETEXT = std::string(ErrorReporter::TextLimit, 'm');
    std::string many;
    for (int i = 0; i < 31; ++i)
        many += "%Message";
    EXPECT_EQ(substituted(many), std::string(ErrorReporter::WorkBufferSize, 'm'));
}

TEST_F(ErrorReporterTest, TheNewestEntryOfAnIdWinsAndPreviousShowsTheOlderText) {
    const std::vector<uint8_t> newer =
        block_of({{23, Level::Notify, "Not opened", "Opening failed: %Previous"}});
    errors.AddErrors(newer);
    errors.SetFile("Goods");
    EXPECT_EQ(errors.Throw(23), Level::Notify);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Not opened");
    // The older text comes in as it stands: its placeholders stay.
    EXPECT_EQ(boxes.shown[0].text, "Opening failed: File (%File) could not be opened.  Error: %ErrorText.");
    // Without an older entry "%Previous" goes.
    EXPECT_EQ(substituted("x%Previous"), "x");
}

TEST_F(ErrorReporterTest, AnUnknownIdShowsAMessageThatNamesIt) {
    EXPECT_EQ(errors.FindError(4242), Level::Notify);
    EXPECT_EQ(errors.Throw(4242), Level::Notify);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Unknown error");
    EXPECT_NE(boxes.shown[0].text.find("4242"), std::string::npos) << boxes.shown[0].text;
    EXPECT_EQ(errors.FindError(23), Level::Benign);
    EXPECT_EQ(errors.current().TITLE, "File Access Error");
}

TEST_F(ErrorReporterTest, EachLevelShowsItsBoxAndAnswers) {
    struct Row {
        int level;
        std::optional<MessageBoxButton> answer;
        int result;
        MessageBoxIcon icon;
        MessageBoxButtons buttons;
    };
    const Row rows[] = {
        {Level::User, platform::ButtonYes, Level::Benign, MessageBoxIcon::Exclamation,
         MessageBoxButtons::YesNo},
        {Level::User, platform::ButtonNo, Level::Cancel, MessageBoxIcon::Exclamation,
         MessageBoxButtons::YesNo},
        // The box closed with its close box.
        {Level::User, platform::ButtonCancel, Level::Cancel, MessageBoxIcon::Exclamation,
         MessageBoxButtons::YesNo},
        {Level::Cancel, platform::ButtonYes, Level::Benign, MessageBoxIcon::Exclamation,
         MessageBoxButtons::YesNo},
        {Level::Notify, std::nullopt, Level::Notify, MessageBoxIcon::Information, MessageBoxButtons::Ok},
    };
    for (const Row& row : rows) {
        const std::vector<uint8_t> entry = block_of({{700, row.level, "Level", "Text"}});
        blocks.push_back(entry);
        errors.AddErrors(blocks.back());
        if (row.answer)
            boxes.answers.push_back(*row.answer);
        boxes.shown.clear();
        EXPECT_EQ(errors.Throw(700), row.result) << "level " << row.level;
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].icon, row.icon);
        EXPECT_EQ(boxes.shown[0].buttons, row.buttons);
    }
    const std::vector<uint8_t> benign = block_of({{701, Level::Benign, "Quiet", "Nothing"}});
    errors.AddErrors(benign);
    boxes.shown.clear();
    EXPECT_EQ(errors.Throw(701), Level::Benign);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ErrorReporterTest, MessageOffersTheCallersButtons) {
    boxes.answers.push_back(platform::ButtonNo);
    EXPECT_EQ(errors.Message(34, MessageBoxButtons::YesNoCancel, platform::ButtonCancel), platform::ButtonNo);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Record Update Error");
    EXPECT_EQ(boxes.shown[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(boxes.shown[0].default_button, platform::ButtonCancel);
}

// A derived reporter's handlers take part in the dispatch.
class QuietReporter : public ErrorReporter {
public:
    void TakeNotify() override { ++notified; }
    int notified = 0;
};

TEST(ErrorReporterDispatch, GoesThroughTheDerivedHandlers) {
    QuietReporter quiet;
    quiet.Init();
    RecordingBoxes boxes;
    EXPECT_EQ(quiet.Throw(22), Level::Notify);
    EXPECT_EQ(quiet.notified, 1);
    EXPECT_TRUE(boxes.shown.empty());
    quiet.Kill();
}

TEST(ErrorReporterFatal, ShowsTheEndingTextAndHaltsWithExitCodeZero) {
    for (const int level : {Level::Fatal, Level::Program, 9}) {
        EXPECT_EXIT(
            {
                InitializeThreads();
                ErrorReporter errors;
                errors.Init();
                platform::set_message_box_presenter([](const platform::MessageBoxRequest& request) {
                    fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
                    return request.default_button;
                });
                const std::vector<uint8_t> entry = block_of({{800, level, "Stop", "It broke."}});
                errors.AddErrors(entry);
                errors.Throw(800);
                std::exit(7); // not reached
            },
            ::testing::ExitedWithCode(0), "\\[Stop\\] It broke\\.  Press OK to end this application");
    }
}

TEST_F(ErrorReporterTest, EachThreadSeesItsOwnInnermostName) {
    errors.SetProcedureName("Main");
    errors.SetProcedureName("Browse");
    EXPECT_EQ(errors.GetProcedureName(), "Browse");
    std::string elsewhere = "unset";
    std::thread([&] { elsewhere = errors.GetProcedureName(); }).join();
    EXPECT_EQ(elsewhere, "");
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
    EXPECT_EQ(errors.GetProcedureName(), "Main");
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop);
    errors.SetProcedureName({}, ErrorReporter::NameStack::Pop); // nothing left: nothing happens
    EXPECT_EQ(errors.GetProcedureName(), "");
    EXPECT_TRUE(errors.PROCNAMES->empty());
}

} // namespace
} // namespace morvex
