#include "files/driver_operation.h"

#include <array>

namespace morvex {

namespace {

constexpr std::array<std::string_view, DriverOperationCount> OperationNames = {
    "", "ADD", "BOF", "BUILDfile", "APPEND", "BUILDdyn", "BUILDkey", "CLOSE",
    "COMMIT", "COPY", "CREATE", "DELETE", "DUPLICATE", "EMPTY", "EOF", "GETfilekey",
    "GETfileptr", "GETkeyptr", "HOLDfile", "HOLDfilesec", "LOCKfile", "LOCKfilesec", "LOGOUT", "NAME",
    "NEXT", "OPEN", "PACK", "POINTERfile", "POINTERkey", "FLUSH", "PUT", "PREVIOUS",
    "RECORDSfile", "RECORDSkey", "BUILDdynfilter", "", "RELEASE", "REMOVE", "RENAME", "",
    "ROLLBACK", "SETfile", "SETfilekey", "SETfileptr", "SETkey", "SETkeykey", "SETkeyptr", "SETkeykeyptr",
    "SHARE", "SKIP", "UNLOCK", "ADDfilelen", "BYTES", "GETfileptrlen", "PUTfileptr", "PUTfileptrlen",
    "STREAM", "DUPLICATEkey", "WATCH", "APPENDlen", "SEND", "POSITIONfile", "POSITIONkey", "RESETfile",
    "RESETkey", "NOMEMO", "REGETfile", "REGETkey", "NULL", "SETNULL", "SETNONULL", "SET_PROPERTY",
    "GET_PROPERTY", "QUERY_KEY", "QUERY_VIEW", "BLOB_YIELD", "BLOB_TAKE", "BLOB_SIZE", "BLOB_GET_PROP", "BLOB_SET_PROP",
    "BUFFER", "SETview", "CLEAR", "RESETviewfile", "BUILDevent", "SETPROPERTYkey", "GETPROPERTYkey", "",
    "DO_PROPERTY", "DOPROPERTYkey", "DOPROPERTYblob", "", "INVIEW", "ENDVIEW", "", "COUNTRECORDS",
};

} // namespace

std::string_view DriverOperationName(int operation) {
    if (operation < 0 || operation >= DriverOperationCount) return {};
    return OperationNames[static_cast<size_t>(operation)];
}

} // namespace morvex
