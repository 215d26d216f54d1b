// Record images: the buffer as declared, with text fields of an OEM file in
// the OEM code page and everything else untouched.
#include "files/qvd/record_image.h"
#include "platform/charset.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace morvex::qvd {
namespace {

// LONG at 0, STRING(6) at 4, CSTRING(6) at 10, PSTRING(6) at 16, STRING(2)[2] at 22.
RecordDescription mixed_record() {
    return RecordDescription(26, {
                                     FieldDescription::Of(FieldType::Long, "L", 0),
                                     FieldDescription::Sized(FieldType::String, "S", 4, 6),
                                     FieldDescription::Sized(FieldType::CString, "C", 10, 6),
                                     FieldDescription::Sized(FieldType::PString, "P", 16, 6),
                                     FieldDescription::Sized(FieldType::String, "A", 22, 2, 2),
                                 });
}

std::vector<uint8_t> sample_buffer() {
    std::vector<uint8_t> buffer(26);
    const uint8_t e_acute = 0xE9, u_umlaut = 0xFC;
    // LONG bytes that are letters in Windows-1252 must stay as they are.
    buffer[0] = e_acute, buffer[1] = u_umlaut, buffer[2] = 0xC4, buffer[3] = 0xD6;
    std::memcpy(&buffer[4], "\xE9t\xE9  ", 6);
    std::memcpy(&buffer[10], "\xFC\x00\xE9\xE9\xE9\xE9", 6); // converted up to the zero only
    std::memcpy(&buffer[16], "\x02\xC4\xD6\xE9\xE9\xE9", 6); // two characters
    std::memcpy(&buffer[22], "\xE9\xFC\xC4\xD6", 4);
    return buffer;
}

TEST(RecordImage, WindowsFileStoresTheBufferAsItIs) {
    const RecordImage image(mixed_record(), 26, TextPage::Windows);
    const std::vector<uint8_t> buffer = sample_buffer();
    EXPECT_EQ(image.FromBuffer(buffer.data()), buffer);
}

TEST(RecordImage, OemFileConvertsExactlyTheTextOfTextFields) {
    const RecordImage image(mixed_record(), 26, TextPage::Oem);
    const std::vector<uint8_t> buffer = sample_buffer();
    std::vector<uint8_t> expected = buffer;
    auto oem = [&](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i)
            expected[i] = platform::windows_to_oem(buffer[i]);
    };
    oem(4, 6);  // STRING: whole
    oem(10, 1); // CSTRING: up to its zero
    oem(17, 2); // PSTRING: as many as the length byte says
    oem(22, 4); // each element of a text array
    EXPECT_EQ(image.FromBuffer(buffer.data()), expected);
}

TEST(RecordImage, OemRoundTripRestoresTheBuffer) {
    // Characters that both code pages have, so the conversion is reversible.
    std::vector<uint8_t> shared;
    for (int c = 0; c < 256; ++c) {
        if (platform::oem_to_windows(platform::windows_to_oem(uint8_t(c))) == c)
            shared.push_back(uint8_t(c));
    }
    ASSERT_GT(shared.size(), 200u);
    const RecordImage image(mixed_record(), 26, TextPage::Oem);
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> buffer(26);
        for (uint8_t& b : buffer)
            b = shared[random() % shared.size()];
        buffer[16] = uint8_t(random() % 9); // PSTRING length, sometimes beyond the field
        std::vector<uint8_t> back(26, 0xAA);
        image.ToBuffer(image.FromBuffer(buffer.data()), back.data());
        ASSERT_EQ(back, buffer) << "round " << round;
    }
}

TEST(RecordImage, FieldDeclaredOverAnotherIsConvertedOnce) {
    // A STRING(4) and a second STRING(4) over the same bytes.
    const RecordDescription over(4, {FieldDescription::Sized(FieldType::String, "A", 0, 4),
                                     FieldDescription::Sized(FieldType::String, "B", 0, 4)});
    const RecordImage image(over, 4, TextPage::Oem);
    const uint8_t buffer[4] = {0xE9, 0xFC, 'a', ' '};
    const std::vector<uint8_t> stored = image.FromBuffer(buffer);
    EXPECT_EQ(stored[0], platform::windows_to_oem(0xE9));
    EXPECT_EQ(stored[1], platform::windows_to_oem(0xFC));
}

TEST(RecordImage, ShortImageClearsTheRestOfTheBuffer) {
    const RecordImage image(mixed_record(), 26, TextPage::Windows);
    std::vector<uint8_t> buffer(26, 0x55);
    const std::vector<uint8_t> stored = {1, 2, 3};
    image.ToBuffer(stored, buffer.data());
    EXPECT_EQ(buffer[2], 3);
    for (size_t i = 3; i < 26; ++i)
        EXPECT_EQ(buffer[i], 0) << i;
}

TEST(RecordImage, LongerImageFillsOnlyTheDeclaredLength) {
    const RecordImage image(mixed_record(), 26, TextPage::Windows);
    std::vector<uint8_t> buffer(30, 0x55);
    const std::vector<uint8_t> stored(40, 7);
    image.ToBuffer(stored, buffer.data());
    EXPECT_EQ(buffer[25], 7);
    EXPECT_EQ(buffer[26], 0x55);
}

} // namespace
} // namespace morvex::qvd
