// The operation numbers through which every file statement reaches a driver,
// and their names in the driver's trace output.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvex {

enum class DriverOperation : uint8_t {
    Add = 1, Bof = 2, BuildFile = 3, Append = 4, BuildDyn = 5, BuildKey = 6, Close = 7, Commit = 8,
    Copy = 9, Create = 10, Delete = 11, Duplicate = 12, Empty = 13, Eof = 14, GetFileKey = 15,
    GetFilePtr = 16, GetKeyPtr = 17, HoldFile = 18, HoldFileSec = 19, LockFile = 20, LockFileSec = 21,
    Logout = 22, Name = 23, Next = 24, Open = 25, Pack = 26, PointerFile = 27, PointerKey = 28,
    Flush = 29, Put = 30, Previous = 31, RecordsFile = 32, RecordsKey = 33, BuildDynFilter = 34,
    Release = 36, Remove = 37, Rename = 38, Rollback = 40, SetFile = 41, SetFileKey = 42,
    SetFilePtr = 43, SetKey = 44, SetKeyKey = 45, SetKeyPtr = 46, SetKeyKeyPtr = 47, Share = 48,
    Skip = 49, Unlock = 50, AddFileLen = 51, Bytes = 52, GetFilePtrLen = 53, PutFilePtr = 54,
    PutFilePtrLen = 55, Stream = 56, DuplicateKey = 57, Watch = 58, AppendLen = 59, Send = 60,
    PositionFile = 61, PositionKey = 62, ResetFile = 63, ResetKey = 64, NoMemo = 65, RegetFile = 66,
    RegetKey = 67, Null = 68, SetNull = 69, SetNoNull = 70, SetProperty = 71, GetProperty = 72,
    QueryKey = 73, QueryView = 74, BlobYield = 75, BlobTake = 76, BlobSize = 77, BlobGetProp = 78,
    BlobSetProp = 79, Buffer = 80, SetView = 81, Clear = 82, ResetViewFile = 83, BuildEvent = 84,
    SetPropertyKey = 85, GetPropertyKey = 86, DoProperty = 88, DoPropertyKey = 89,
    DoPropertyBlob = 90, InView = 92, EndView = 93, CountRecords = 95,
};

constexpr int DriverOperationCount = 96;

// The trace name of an operation number ("ADD", "SETkeykey"); empty for the
// unnamed and internal numbers (0, 35, 39, 87, 91, 94) and outside 0..95.
std::string_view DriverOperationName(int operation);

} // namespace morvex
