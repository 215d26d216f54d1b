// Helpers for the picture tests: dates and times by their parts, FORMAT and
// DEFORMAT through a picture text, and test names from row labels.
#pragma once

#include "runtime/date.h"
#include "runtime/picture.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace morvex::picture_testing {

inline int32_t date_of(int year, int month, int day) {
    return PartsToDate(DateParts{year, static_cast<uint8_t>(day), static_cast<uint8_t>(month)});
}

inline int32_t time_of(int hour, int minute, int second = 0) {
    return hour * 360'000 + minute * 6'000 + second * 100 + 1;
}

inline CompiledPicture compiled(std::string_view text) {
    CompiledPicture picture;
    CompilePicture(picture, text);
    return picture;
}

template <typename Value>
std::string format(std::string_view picture_text, Value value) {
    const CompiledPicture picture = compiled(picture_text);
    char out[MaxPictureWidth];
    return std::string(out, FORMAT(value, picture, out));
}

inline std::string deformat(std::string_view text, std::string_view picture_text) {
    const CompiledPicture picture = compiled(picture_text);
    return std::string(DEFORMAT(text, picture));
}

// A row's label as a test name.
template <typename Row>
std::string label_name(const ::testing::TestParamInfo<Row>& info) {
    return std::string(info.param.label);
}

} // namespace morvex::picture_testing
