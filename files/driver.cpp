#include "files/driver.h"

#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/string_stack.h"

namespace morvex {

namespace {

std::string take_text() {
    StringStack& strings = Strings();
    return strings.empty() ? std::string() : strings.take();
}

// A key argument the statement must have; ErrInvalidNumberOfParameters when it is missing.
KeyDeclaration* required_key(const DriverArguments& args, std::size_t slot) {
    KeyDeclaration* key = args.key(slot);
    if (!key)
        SetError(ErrInvalidNumberOfParameters);
    return key;
}

// Keeps the string stack as the protocol expects when no driver answers: the
// operation's input text is taken and an empty result left.
void balance_unanswered(DriverOperation operation) {
    using Op = DriverOperation;
    switch (operation) {
    case Op::RegetFile:
    case Op::RegetKey:
    case Op::ResetFile:
    case Op::ResetKey:
    case Op::SetProperty:
        take_text();
        break;
    case Op::Send:
        take_text();
        Strings().push_copy(std::string_view());
        break;
    case Op::PositionFile:
    case Op::PositionKey:
    case Op::GetProperty:
    case Op::GetPropertyKey:
        Strings().push_copy(std::string_view());
        break;
    default:
        break;
    }
}

} // namespace

int32_t CallDriverWith(DriverOperation operation, FileDeclaration& file, std::span<const intptr_t> args) {
    ClearError();
    if (!file.driver) {
        balance_unanswered(operation);
        return FileDriver::Unsupported();
    }
    return file.driver(static_cast<int>(operation), file, DriverArguments(args));
}

int32_t FileDriver::Unsupported() {
    SetError(ErrUnsupportedDriverFunction);
    return 0;
}

int32_t FileDriver::Dispatch(int operation, FileDeclaration& file, DriverArguments args) {
    DriverCall call{operation, file, file.current(), args};
    using Op = DriverOperation;
    switch (static_cast<Op>(operation)) {
    case Op::Open:
        return Open(call, args.number(0));
    case Op::Close:
        return Close(call);
    case Op::Create:
        return Create(call);
    case Op::BuildFile:
        return Build(call);
    case Op::SetFile:
        return SetFile(call);
    case Op::SetKey:
        if (KeyDeclaration* key = required_key(args, 0))
            return SetKey(call, *key);
        return 0;
    case Op::SetKeyKey: {
        KeyDeclaration* key = required_key(args, 0);
        KeyDeclaration* start = key ? required_key(args, 1) : nullptr;
        return start ? SetKeyKey(call, *key, *start) : 0;
    }
    case Op::Next:
        return Next(call);
    case Op::Previous:
        return Previous(call);
    case Op::GetFileKey:
        if (KeyDeclaration* key = required_key(args, 0))
            return GetByKey(call, *key);
        return 0;
    case Op::GetFilePtr:
        return GetByPointer(call, args.number(0));
    case Op::RegetFile:
    case Op::RegetKey:
    case Op::ResetFile:
    case Op::ResetKey: {
        const std::string position = take_text();
        const bool on_key =
            operation == static_cast<int>(Op::RegetKey) || operation == static_cast<int>(Op::ResetKey);
        KeyDeclaration* key = on_key ? required_key(args, 0) : nullptr;
        if (on_key && !key)
            return 0;
        const bool reget =
            operation == static_cast<int>(Op::RegetFile) || operation == static_cast<int>(Op::RegetKey);
        return reget ? Reget(call, key, position) : Reset(call, key, position);
    }
    case Op::PositionFile:
    case Op::PositionKey: {
        std::string position;
        int32_t result = 0;
        if (operation == static_cast<int>(Op::PositionFile))
            result = Position(call, nullptr, position);
        else if (KeyDeclaration* key = required_key(args, 0))
            result = Position(call, key, position);
        Strings().push_copy(position);
        return result;
    }
    case Op::Add:
        return Add(call);
    case Op::Put:
        return Put(call);
    case Op::Delete:
        return Delete(call);
    case Op::DuplicateKey:
        if (KeyDeclaration* key = required_key(args, 0))
            return DuplicateKey(call, *key);
        return 0;
    case Op::RecordsFile:
        return Records(call, nullptr);
    case Op::RecordsKey:
        if (KeyDeclaration* key = required_key(args, 0))
            return Records(call, key);
        return 0;
    case Op::CountRecords:
        return CountRecords(call);
    case Op::HoldFile:
        return Hold(call);
    case Op::Watch:
        return Watch(call);
    case Op::Unlock:
        return Unlock(call);
    case Op::LockFileSec:
        return Lock(call, args.number(0));
    case Op::Logout:
        return Logout(call, args.number(0));
    case Op::Commit:
        return Commit(call);
    case Op::Rollback:
        return Rollback(call);
    case Op::Flush:
        return Flush(call);
    case Op::NoMemo:
        return NoMemo(call);
    case Op::Send: {
        const std::string text = take_text();
        std::string reply;
        const int32_t result = Send(call, text, reply);
        Strings().push_copy(reply);
        return result;
    }
    case Op::Buffer:
        return Buffer(call, args.number(0), args.number(1), args.number(2), args.number(3));
    case Op::Clear:
        return Clear(call, args.number(0));
    case Op::SetProperty: {
        const std::string value = take_text();
        return SetProperty(call, args.number(0), args.number(1), value);
    }
    case Op::GetProperty:
    case Op::GetPropertyKey: {
        std::optional<std::string> text;
        int32_t result = 0;
        if (operation == static_cast<int>(Op::GetProperty))
            result = GetProperty(call, args.number(0), args.number(1), text);
        else if (KeyDeclaration* key = required_key(args, 0))
            result = GetPropertyKey(call, *key, args.number(1), args.number(2), text);
        Strings().push_copy(text ? *text : std::to_string(result));
        return result;
    }
    default:
        return Other(call);
    }
}

int32_t FileDriver::Open(DriverCall&, int32_t) {
    return Unsupported();
}
int32_t FileDriver::Close(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Create(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Build(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::SetFile(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::SetKey(DriverCall&, KeyDeclaration&) {
    return Unsupported();
}
int32_t FileDriver::SetKeyKey(DriverCall&, KeyDeclaration&, KeyDeclaration&) {
    return Unsupported();
}
int32_t FileDriver::Next(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Previous(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::GetByKey(DriverCall&, KeyDeclaration&) {
    return Unsupported();
}
int32_t FileDriver::GetByPointer(DriverCall&, int32_t) {
    return Unsupported();
}
int32_t FileDriver::Reget(DriverCall&, KeyDeclaration*, std::string_view) {
    return Unsupported();
}
int32_t FileDriver::Reset(DriverCall&, KeyDeclaration*, std::string_view) {
    return Unsupported();
}
int32_t FileDriver::Position(DriverCall&, KeyDeclaration*, std::string&) {
    return Unsupported();
}
int32_t FileDriver::Add(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Put(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Delete(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::DuplicateKey(DriverCall&, KeyDeclaration&) {
    return Unsupported();
}
int32_t FileDriver::Records(DriverCall&, KeyDeclaration*) {
    return Unsupported();
}
int32_t FileDriver::CountRecords(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Hold(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Watch(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Unlock(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Lock(DriverCall&, int32_t) {
    return Unsupported();
}
int32_t FileDriver::Logout(DriverCall&, int32_t) {
    return Unsupported();
}
int32_t FileDriver::Commit(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Rollback(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Flush(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::NoMemo(DriverCall&) {
    return Unsupported();
}
int32_t FileDriver::Send(DriverCall&, std::string_view, std::string&) {
    return Unsupported();
}
int32_t FileDriver::Buffer(DriverCall&, int32_t, int32_t, int32_t, int32_t) {
    return Unsupported();
}
int32_t FileDriver::Clear(DriverCall&, int32_t) {
    return Unsupported();
}
int32_t FileDriver::SetProperty(DriverCall&, int32_t, int32_t, std::string_view) {
    return Unsupported();
}
int32_t FileDriver::GetProperty(DriverCall&, int32_t, int32_t, std::optional<std::string>&) {
    return Unsupported();
}
int32_t FileDriver::Other(DriverCall&) {
    return Unsupported();
}

int32_t FileDriver::GetPropertyKey(DriverCall&, KeyDeclaration& key, int32_t property, int32_t index,
                                   std::optional<std::string>& text) {
    switch (property) {
    case KeyPropertyComponents:
        return key.component_count();
    case KeyPropertyDup:
        return key.allows_duplicates() ? 1 : 0;
    case KeyPropertyOpt:
        return key.has(KeyOpt) ? 1 : 0;
    case KeyPropertyNoCase:
        return key.has(KeyNoCase) ? 1 : 0;
    case KeyPropertyPrimary:
        return key.has(KeyPrimary) ? 1 : 0;
    case KeyPropertyField:
        return key.field_number(index);
    case KeyPropertyDescending:
        return key.descending(index) ? 1 : 0;
    case KeyPropertyKind:
        text = key.has(KeyIndex) ? "INDEX" : "KEY";
        return 0;
    default:
        return 0;
    }
}

} // namespace morvex
