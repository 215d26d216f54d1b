#include "window/bound_value.h"

#include "runtime/decimal.h"
#include "runtime/picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

uint8_t* bytes_of(const BoundVariable& variable) {
    return static_cast<uint8_t*>(variable.address);
}

bool is_integer_type(FieldType type) {
    switch (type) {
    case FieldType::Byte:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Long:
    case FieldType::ULong:
        return true;
    default:
        return false;
    }
}

bool is_decimal_type(FieldType type) {
    return type == FieldType::Decimal || type == FieldType::PDecimal;
}

template <typename T>
T load(const BoundVariable& variable) {
    T value{};
    if (variable.size >= sizeof(T))
        std::memcpy(&value, variable.address, sizeof(T));
    return value;
}

template <typename T>
void store(const BoundVariable& variable, T value) {
    if (variable.size >= sizeof(T))
        std::memcpy(variable.address, &value, sizeof(T));
}

int64_t integer_value(const BoundVariable& variable) {
    switch (variable.type) {
    case FieldType::Byte:
        return load<uint8_t>(variable);
    case FieldType::Short:
        return load<int16_t>(variable);
    case FieldType::UShort:
        return load<uint16_t>(variable);
    case FieldType::ULong:
        return load<uint32_t>(variable);
    default:
        return load<int32_t>(variable);
    }
}

template <typename T>
void store_clamped(const BoundVariable& variable, int64_t value) {
    store<T>(variable, static_cast<T>(std::clamp<int64_t>(value, std::numeric_limits<T>::min(),
                                                          std::numeric_limits<T>::max())));
}

void set_integer(const BoundVariable& variable, int64_t value) {
    switch (variable.type) {
    case FieldType::Byte:
        store_clamped<uint8_t>(variable, value);
        break;
    case FieldType::Short:
        store_clamped<int16_t>(variable, value);
        break;
    case FieldType::UShort:
        store_clamped<uint16_t>(variable, value);
        break;
    case FieldType::ULong:
        store_clamped<uint32_t>(variable, value);
        break;
    default:
        store_clamped<int32_t>(variable, value);
        break;
    }
}

void push_decimal(const BoundVariable& variable) {
    if (variable.type == FieldType::Decimal)
        Decimals().push_decimal(bytes_of(variable), variable.size, variable.decimals);
    else
        Decimals().push_pdecimal(bytes_of(variable), variable.size, variable.decimals);
}

void store_decimal_text(const BoundVariable& variable, std::string_view text) {
    DecimalStack& stack = Decimals();
    stack.push_text(text);
    if (variable.type == FieldType::Decimal)
        stack.store_decimal(bytes_of(variable), variable.size, variable.decimals);
    else
        stack.store_pdecimal(bytes_of(variable), variable.size, variable.decimals);
}

int64_t integer_of_text(std::string_view text) {
    return static_cast<int64_t>(std::clamp(std::trunc(NumberOfText(text)), -9.2e18, 9.2e18));
}

std::string text_value(const BoundVariable& variable) {
    const auto* bytes = reinterpret_cast<const char*>(variable.address);
    std::size_t length = variable.size;
    if (variable.type == FieldType::CString) {
        length = static_cast<std::size_t>(std::find(bytes, bytes + variable.size, '\0') - bytes);
    } else if (variable.type == FieldType::PString) {
        if (variable.size == 0)
            return {};
        length = std::min<std::size_t>(static_cast<uint8_t>(bytes[0]), variable.size - 1);
        ++bytes;
    }
    while (length > 0 && bytes[length - 1] == ' ')
        --length;
    return std::string(bytes, length);
}

void set_text_value(const BoundVariable& variable, std::string_view text) {
    char* bytes = static_cast<char*>(variable.address);
    if (variable.size == 0)
        return;
    if (variable.type == FieldType::CString) {
        const std::size_t length = std::min<std::size_t>(text.size(), variable.size - 1);
        std::memcpy(bytes, text.data(), length);
        std::memset(bytes + length, 0, variable.size - length);
    } else if (variable.type == FieldType::PString) {
        const std::size_t length = std::min<std::size_t>({text.size(), variable.size - 1, 255});
        bytes[0] = static_cast<char>(length);
        std::memcpy(bytes + 1, text.data(), length);
        std::memset(bytes + 1 + length, ' ', variable.size - 1 - length);
    } else {
        const std::size_t length = std::min<std::size_t>(text.size(), variable.size);
        std::memcpy(bytes, text.data(), length);
        std::memset(bytes + length, ' ', variable.size - length);
    }
}

} // namespace

double NumberOfText(std::string_view text) {
    return TextToReal(text);
}

ValuePicture::ValuePicture() : m_compiled(std::make_unique<CompiledPicture>()) {}

ValuePicture::ValuePicture(std::string_view text) : ValuePicture() {
    set(text);
}

ValuePicture::~ValuePicture() = default;

void ValuePicture::set(std::string_view text) {
    m_text = std::string(text);
    if (m_text.empty())
        *m_compiled = CompiledPicture{};
    else
        CompilePicture(*m_compiled, m_text);
}

std::size_t TextCapacity(const BoundVariable& variable) {
    switch (variable.type) {
    case FieldType::String:
        return variable.size;
    case FieldType::CString:
    case FieldType::PString:
        return variable.size > 0 ? variable.size - 1 : 0;
    default:
        return 0;
    }
}

BoundVariable FieldVariable(const FieldDescription& field, const uint8_t* record) {
    BoundVariable variable;
    variable.type = field.type;
    variable.address = const_cast<uint8_t*>(record + field.offset);
    variable.size = field.size;
    variable.dimension = field.dimension;
    return variable;
}

bool IsTextVariable(const BoundVariable& variable) {
    return IsTextType(variable.type);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string NumberText(double value) {
    if (!std::isfinite(value))
        return "0";
    if (value == 0.0)
        return "0"; // also for -0
    char out[400];
    const auto result = std::to_chars(out, out + sizeof out, value, std::chars_format::fixed);
    return std::string(out, result.ptr);
}

std::string VariableText(const BoundVariable& variable) {
    if (variable.address == nullptr)
        return {};
    if (IsTextType(variable.type))
        return text_value(variable);
    if (is_integer_type(variable.type))
        return std::to_string(integer_value(variable));
    if (is_decimal_type(variable.type)) {
        push_decimal(variable);
        char out[80];
        const std::size_t length = Decimals().take_text(out);
        return std::string(out, length);
    }
    if (variable.type == FieldType::Real || variable.type == FieldType::SReal)
        return NumberText(VariableNumber(variable));
    return {};
}

double VariableNumber(const BoundVariable& variable) {
    if (variable.address == nullptr)
        return 0.0;
    if (is_integer_type(variable.type))
        return static_cast<double>(integer_value(variable));
    switch (variable.type) {
    case FieldType::Real:
        return load<double>(variable);
    case FieldType::SReal:
        return load<float>(variable);
    case FieldType::Decimal:
    case FieldType::PDecimal:
        push_decimal(variable);
        return Decimals().take_real();
    default:
        break;
    }
    if (IsTextType(variable.type))
        return NumberOfText(text_value(variable));
    return 0.0;
}

void SetVariableText(const BoundVariable& variable, std::string_view text) {
    if (variable.address == nullptr)
        return;
    if (IsTextType(variable.type)) {
        set_text_value(variable, text);
    } else if (is_integer_type(variable.type)) {
        set_integer(variable, integer_of_text(text));
    } else if (is_decimal_type(variable.type)) {
        store_decimal_text(variable, text);
    } else if (variable.type == FieldType::Real) {
        store<double>(variable, NumberOfText(text));
    } else if (variable.type == FieldType::SReal) {
        store<float>(variable, static_cast<float>(NumberOfText(text)));
    }
}

void SetVariableNumber(const BoundVariable& variable, double value) {
    if (variable.address == nullptr)
        return;
    if (is_integer_type(variable.type))
        set_integer(variable, std::isfinite(value)
                                  ? static_cast<int64_t>(std::clamp(std::trunc(value), -9.2e18, 9.2e18))
                                  : 0);
    else if (variable.type == FieldType::Real)
        store<double>(variable, value);
    else if (variable.type == FieldType::SReal)
        store<float>(variable, static_cast<float>(value));
    else
        SetVariableText(variable, NumberText(value));
}

std::string FormattedValue(const BoundVariable& variable, const CompiledPicture& picture) {
    if (!picture.valid() || variable.address == nullptr)
        return std::string(TrimBlanks(VariableText(variable)));
    char out[MaxPictureWidth + 1];
    std::size_t width = 0;
    if (IsTextType(variable.type))
        width = FORMAT(std::string_view(text_value(variable)), picture, out);
    else if (is_integer_type(variable.type))
        width = FORMAT(integer_value(variable), picture, out);
    else if (is_decimal_type(variable.type)) {
        push_decimal(variable);
        width = FormatDecimalTop(picture, out);
    } else
        width = FORMAT(VariableNumber(variable), picture, out);
    return std::string(TrimBlanks(std::string_view(out, width)));
}

std::string DeformattedText(std::string_view text, const CompiledPicture& picture) {
    // Text under a string picture is taken as it is, as an entry takes it
    // (DEFORMAT would keep only what forms a number). DEFORMAT answers in a
    // shared buffer: copied before anything else runs.
    if (!picture.valid() || picture.kind() == PictureKind::String)
        return std::string(text);
    return std::string(DEFORMAT(text, picture));
}

void DeformatInto(const BoundVariable& variable, std::string_view text, const CompiledPicture& picture) {
    SetVariableText(variable, DeformattedText(text, picture));
}

std::size_t TypingLimit(const BoundVariable& variable, const CompiledPicture& picture) {
    if (picture.valid() && picture.kind() == PictureKind::String)
        return picture.token_count();
    return IsTextType(variable.type) ? variable.size : 0;
}

std::vector<uint8_t> VariableBytes(const BoundVariable& variable) {
    if (variable.address == nullptr)
        return {};
    return std::vector<uint8_t>(bytes_of(variable), bytes_of(variable) + variable.size);
}

} // namespace morvex
