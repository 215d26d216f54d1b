// Fuzzes the decoder of record descriptors in their byte form: any input is
// refused with a reason or gives a valid description, which encodes again to
// a form that decodes to the same fields.
#include "files/record_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    morvex::RecordDescription description;
    const morvex::DescriptorResult result =
        morvex::DecodeRecordDescriptor(std::span(data, size), description);
    if (!result.ok) {
        check(!result.error.empty());
        return 0;
    }
    check(description.valid());
    std::vector<uint8_t> form;
    // Decoded offsets and sizes are within what the form can carry.
    check(morvex::EncodeRecordDescriptor(description, form).ok);
    morvex::RecordDescription again;
    check(morvex::DecodeRecordDescriptor(form, again).ok);
    check(again.field_count() == description.field_count() &&
          again.record_size() == description.record_size());
    for (int32_t n = 1; n <= again.field_count(); ++n) {
        check(again.field(n).type == description.field(n).type);
        check(again.field(n).offset == description.field(n).offset);
        check(again.field(n).size == description.field(n).size);
        check(again.field(n).label == description.field(n).label);
    }
    return 0;
}
