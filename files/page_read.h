// Reading many records in one driver call: the view engine's pages. A driver
// that can (the QVD driver) reads from its reading position in its current
// order, record after record, within as few accesses to its file as it can,
// and shows each record to the page reader in the file's record buffer; the
// reader keeps what it wants and says when to stop. Instead of one NEXT, one
// POSITION and their dispatch per record, a page costs one call.
//
// A record another station holds is shown too, marked held, with its stored
// image in the buffer so that the reader can place it (range, filter, order);
// the reader must not hand that image out, since a plain read of a held
// record reads nothing (error 43).
#pragma once

#include "files/file_declaration.h"

#include <cstdint>
#include <optional>
#include <string>

namespace morvex {

// The record a page read has reached, in the file's record buffer.
class PageRecord {
public:
    // Another station holds it.
    virtual bool held() const = 0;
    // Its position in the order read, as POSITION would give it.
    virtual std::string position() const = 0;

protected:
    ~PageRecord() = default;
};

class PageReader {
public:
    explicit PageReader(bool forward) : m_forward(forward) {}
    virtual ~PageReader() = default;
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // NEXT's direction, or PREVIOUS's.
    bool forward() const { return m_forward; }
    // Called for each record in turn; false stops the reading after it.
    virtual bool visit(const PageRecord& record) = 0;

private:
    bool m_forward;
};

// Reads on from the file's reading position, showing each record to
// `reader`, until it says stop or the order ends (which is not an error).
// 0 or the driver's error; ErrUnsupportedDriverFunction (80) from a driver
// that reads one record per NEXT only, or that cannot read this way now
// (a HOLD or WATCH armed, memos to read): the caller then uses NEXT or PREVIOUS.
// After the call the record buffer holds whatever was shown last.
int32_t ReadPage(FileDeclaration& file, PageReader& reader);

// The file's change counter (FilePropertyChangeCounter) as a number, without
// the text a property read travels as: a reader checks it before each record
// it serves from what it kept. nullopt when the driver keeps none.
std::optional<uint32_t> ChangeCounter(FileDeclaration& file);

} // namespace morvex
