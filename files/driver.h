// Calling a file's driver, and the base class drivers are written on.
//
// Every file statement is one CallDriver: the operation number, the file (for
// a statement on a key, the key's owning file, with the key as the first
// argument) and the statement's further arguments. The error state is cleared
// before the call; a failed operation sets it. Texts travel on the runtime's
// string stack: SEND's text, RESET/REGET's position and SET_PROPERTY's value
// are pushed by the caller and taken by the driver; POSITION, SEND and the
// property reads leave exactly one result text there for the caller.
//
// FileDriver turns the operation number back into typed calls. It resolves the
// calling thread's instance of the file first, handles the string stack, and
// answers every operation a driver leaves alone with error 80 ("Unsupported
// File Driver Function"); key properties are answered from the key
// declaration.
#pragma once

#include "files/driver_arguments.h"
#include "files/driver_operation.h"
#include "files/file_declaration.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// Properties a key declaration answers through GETPROPERTYkey.
enum KeyProperty : int32_t {
    KeyPropertyComponents = 29466,
    KeyPropertyDup = 29467,
    KeyPropertyOpt = 29468,
    KeyPropertyNoCase = 29469,
    KeyPropertyPrimary = 29470,
    KeyPropertyField = 29471,      // index: component number
    KeyPropertyDescending = 29472, // index: component number
    KeyPropertyKind = 31745,       // "KEY" or "INDEX"
};

// Properties through which a driver tells about an open file's reading state
// (GET_PROPERTY, numeric results). The framework's file manager keeps and puts
// back a file's state with them.
enum FileStateProperty : int32_t {
    FilePropertyOrder = 31760,   // the current reading order: 0 record order, else the key's number
    FilePropertyRecord = 31761,  // the current record's number, 0 when there is none
    FilePropertyHeld = 31762,    // 1 when this open holds the current record
    FilePropertyWatched = 31763, // 1 when the current record is watched
    // A number that changes whenever the file's contents change (any open,
    // any process); a reader compares it to learn whether what it kept is stale.
    FilePropertyChangeCounter = 31764,
};

// Calls the file's driver with the argument slots as given. Sets error 80
// when the file has no driver.
int32_t CallDriverWith(DriverOperation operation, FileDeclaration& file, std::span<const intptr_t> args);

template <class... Args>
int32_t CallDriver(DriverOperation operation, FileDeclaration& file, Args... args) {
    const std::array<intptr_t, sizeof...(Args)> slots{ToDriverSlot(args)...};
    return CallDriverWith(operation, file, slots);
}

// A statement on a key: the driver gets the key's owning file, the key first.
template <class... Args>
int32_t CallDriver(DriverOperation operation, KeyDeclaration& key, Args... args) {
    const std::array<intptr_t, sizeof...(Args) + 1> slots{ToDriverSlot(&key), ToDriverSlot(args)...};
    return CallDriverWith(operation, *key.file, slots);
}

// One call as a driver sees it: the operation, the file, the calling thread's
// instance of it and the arguments.
struct DriverCall {
    int operation = 0;
    FileDeclaration& file;
    FileInstance& instance;
    DriverArguments args;

    uint8_t* record() const { return instance.record; }
};

class FileDriver {
public:
    virtual ~FileDriver() = default;

    // Resolves the instance, decodes the arguments and calls the operation.
    int32_t Dispatch(int operation, FileDeclaration& file, DriverArguments args);

    // Sets error 80 and returns 0: the answer to every operation not overridden.
    static int32_t Unsupported();

protected:
    // Statement operations, with their arguments decoded. `key` is null for
    // the file forms of POSITION, RESET, REGET and RECORDS.
    virtual int32_t Open(DriverCall& call, int32_t access_mode);
    virtual int32_t Close(DriverCall& call);
    virtual int32_t Create(DriverCall& call);
    virtual int32_t Build(DriverCall& call);
    virtual int32_t SetFile(DriverCall& call);
    virtual int32_t SetKey(DriverCall& call, KeyDeclaration& key);
    virtual int32_t SetKeyKey(DriverCall& call, KeyDeclaration& key, KeyDeclaration& start);
    virtual int32_t Next(DriverCall& call);
    virtual int32_t Previous(DriverCall& call);
    virtual int32_t GetByKey(DriverCall& call, KeyDeclaration& key);
    virtual int32_t GetByPointer(DriverCall& call, int32_t pointer);
    virtual int32_t Reget(DriverCall& call, KeyDeclaration* key, std::string_view position);
    virtual int32_t Reset(DriverCall& call, KeyDeclaration* key, std::string_view position);
    virtual int32_t Position(DriverCall& call, KeyDeclaration* key, std::string& position);
    virtual int32_t Add(DriverCall& call);
    virtual int32_t Put(DriverCall& call);
    virtual int32_t Delete(DriverCall& call);
    virtual int32_t DuplicateKey(DriverCall& call, KeyDeclaration& key);
    virtual int32_t Records(DriverCall& call, KeyDeclaration* key);
    virtual int32_t CountRecords(DriverCall& call);
    virtual int32_t Hold(DriverCall& call);
    virtual int32_t Watch(DriverCall& call);
    virtual int32_t Unlock(DriverCall& call);
    virtual int32_t Lock(DriverCall& call, int32_t seconds);
    virtual int32_t Logout(DriverCall& call, int32_t seconds);
    virtual int32_t Commit(DriverCall& call);
    virtual int32_t Rollback(DriverCall& call);
    virtual int32_t Flush(DriverCall& call);
    virtual int32_t NoMemo(DriverCall& call);
    virtual int32_t Send(DriverCall& call, std::string_view text, std::string& reply);
    virtual int32_t Buffer(DriverCall& call, int32_t a, int32_t b, int32_t c, int32_t d);
    virtual int32_t Clear(DriverCall& call, int32_t value);
    // file{property} = value; the index is the second argument, 0 when absent.
    virtual int32_t SetProperty(DriverCall& call, int32_t property, int32_t index, std::string_view value);
    // file{property}: the numeric value is the result. A text-valued property
    // sets `text`; otherwise the caller gets the result in decimal.
    virtual int32_t GetProperty(DriverCall& call, int32_t property, int32_t index,
                                std::optional<std::string>& text);
    // key{property}, answered from the key declaration.
    virtual int32_t GetPropertyKey(DriverCall& call, KeyDeclaration& key, int32_t property, int32_t index,
                                   std::optional<std::string>& text);
    // Every operation without a method of its own.
    virtual int32_t Other(DriverCall& call);
};

// The entry function of a driver class: one driver object serves every file.
template <class Driver>
int32_t DriverEntryOf(int operation, FileDeclaration& file, DriverArguments args) {
    static Driver driver;
    return driver.Dispatch(operation, file, args);
}

} // namespace morvex
