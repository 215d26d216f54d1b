// An output file that appears whole or not at all: written to a temporary
// file beside the target and renamed over it only when everything was
// written and synced, so that a failed run leaves the old file (or none) in
// place and never a half-written one. A target that names a file this
// process has open (an input the run reads from, such as the QVD file an
// export reads) is refused, whatever path names it (a symbolic link, "./"):
// replacing an input would lose it while it is read.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace morvex {

class OutputFile {
public:
    OutputFile();
    ~OutputFile(); // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the temporary file for `path` (for a symbolic link, beside the
    // file it names, which is replaced and the link kept). False with
    // `error` ("is open as an input", the system's reason) otherwise.
    bool open(const std::string& path, std::string& error);
    std::ostream& stream() { return m_stream; }
    // Writes out what is buffered, syncs, renames the temporary file over the
    // target and syncs the directory. False with `error` when any step fails
    // (the target is then as it was).
    bool commit(std::string& error);

private:
    class Buffer;
    std::unique_ptr<Buffer> m_buffer;
    std::ostream m_stream;
    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
};

// Whether `path` names (through any link) a file that a descriptor of this
// process has open. False when it names nothing.
bool IsOpenInThisProcess(const std::string& path);

} // namespace morvex
