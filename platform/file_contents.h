// Reading an outside file whole: environment files, window-definition
// sources, image files. POSIX reads of a regular file only, and nothing
// throws: a directory, a FIFO or a device in a file's place is refused
// rather than read, waited on or read for ever, and running out of memory is
// reported like any other failure.
#pragma once

#include <cstddef>
#include <string>

namespace morvex::platform {

constexpr std::size_t DefaultFileLimit = std::size_t{64} << 20;

// The file's bytes in `contents`. False, with errno set, when it cannot be
// read: the open's or the read's own error, EISDIR for a directory, EINVAL
// for anything else that is not a regular file, EFBIG for a file larger than
// `limit`, ENOMEM when memory runs out.
bool read_file_contents(const std::string& path, std::string& contents, std::size_t limit = DefaultFileLimit);

} // namespace morvex::platform
