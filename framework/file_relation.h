// The part of a file's relation manager that the view manager uses: the
// file's manager (`ME`), through which view errors are reported so that
// they name the file. The relation manager proper builds on this class.
#pragma once

namespace morvex {

class FileManager;

class FileRelation {
public:
    virtual ~FileRelation() = default;

    FileManager* ME = nullptr;
};

} // namespace morvex
