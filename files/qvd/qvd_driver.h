// The QVD driver: declared files kept as tables of a QVD file, records under
// their record numbers and every key as entries of its own, all changed
// together in one commit per statement. The operations live in
// qvd_driver_open.cpp (opening, creating, building, SEND), qvd_driver_read.cpp
// (SET, NEXT, PREVIOUS, GET, POSITION, RESET, REGET, RECORDS) and
// qvd_driver_write.cpp (ADD, PUT, DELETE, DUPLICATE, memos) and
// qvd_driver_locks.cpp (HOLD, WATCH, RELEASE, LOCK, UNLOCK).
#pragma once

#include "files/driver.h"
#include "files/qvd/qvd_file_state.h"

#include <cstdint>

namespace morvex {

// The driver entry named in file declarations.
int32_t QvdDriver(int operation, FileDeclaration& file, DriverArguments args);

namespace qvd {

class QvdFileDriver : public FileDriver {
protected:
    int32_t Open(DriverCall& call, int32_t access_mode) override;
    int32_t Close(DriverCall& call) override;
    int32_t Create(DriverCall& call) override;
    int32_t Build(DriverCall& call) override;
    int32_t SetFile(DriverCall& call) override;
    int32_t SetKey(DriverCall& call, KeyDeclaration& key) override;
    int32_t SetKeyKey(DriverCall& call, KeyDeclaration& key, KeyDeclaration& start) override;
    int32_t Next(DriverCall& call) override;
    int32_t Previous(DriverCall& call) override;
    int32_t GetByKey(DriverCall& call, KeyDeclaration& key) override;
    int32_t GetByPointer(DriverCall& call, int32_t pointer) override;
    int32_t Reget(DriverCall& call, KeyDeclaration* key, std::string_view position) override;
    int32_t Reset(DriverCall& call, KeyDeclaration* key, std::string_view position) override;
    int32_t Position(DriverCall& call, KeyDeclaration* key, std::string& position) override;
    int32_t Add(DriverCall& call) override;
    int32_t Put(DriverCall& call) override;
    int32_t Delete(DriverCall& call) override;
    int32_t DuplicateKey(DriverCall& call, KeyDeclaration& key) override;
    int32_t Records(DriverCall& call, KeyDeclaration* key) override;
    int32_t Flush(DriverCall& call) override;
    int32_t NoMemo(DriverCall& call) override;
    int32_t Send(DriverCall& call, std::string_view text, std::string& reply) override;
    int32_t Hold(DriverCall& call) override;
    int32_t Watch(DriverCall& call) override;
    int32_t Unlock(DriverCall& call) override;
    int32_t Lock(DriverCall& call, int32_t seconds) override;
    int32_t Logout(DriverCall& call, int32_t seconds) override;
    int32_t Commit(DriverCall& call) override;
    int32_t Rollback(DriverCall& call) override;
    // The reading state (files/driver.h, FileStateProperty); 80 for others.
    int32_t GetProperty(DriverCall& call, int32_t property, int32_t index,
                        std::optional<std::string>& text) override;
    // EMPTY, SETfileptr, SETkeyptr, SETkeykeyptr, GETkeyptr, HOLDfilesec,
    // LOCKfile, RELEASE, the internal page read and change counter; everything
    // else answers 80.
    int32_t Other(DriverCall& call) override;

private:
    int32_t Empty(DriverCall& call);
    int32_t SetByPointer(DriverCall& call, KeyDeclaration* key, int32_t pointer);
    int32_t SetByValueAndPointer(DriverCall& call, KeyDeclaration& key, int32_t pointer);
    int32_t Step(DriverCall& call, bool forward);
    int32_t HoldFor(DriverCall& call, int32_t seconds);
    int32_t Release(DriverCall& call);
    int32_t LockFor(DriverCall& call, int32_t seconds);
    // The view engine's page read (files/page_read.h, qvd_driver_page.cpp).
    int32_t ReadPage(DriverCall& call);
};

// The instance's state, or null (with error 37, File Not Open) when the file
// is not open.
QvdFileState* OpenState(DriverCall& call);

// Reads record `record` into the buffer (and memos) and makes it current;
// false when it does not exist. True with error 43 set when it is held by
// another station (or cannot be held for a HOLD): nothing is read then.
bool LoadRecord(DriverCall& call, QvdFileState& state, uint32_t record);
// The same with the record's stored image already read (nullopt: missing);
// the view must stay valid until the store is next read.
bool LoadRecordImage(DriverCall& call, QvdFileState& state, uint32_t record, std::optional<ByteView> image);

// Record holds, watches and the file lock (qvd_driver_locks.cpp).
//
// Called by every read that reached a stored record, before it is read: ends
// the previous hold and watch, takes the hold a HOLD asked for or tests that
// no other station holds the record; false with error 43 when it is held
// elsewhere. `image` views the record's stored image; a hold that had to be
// awaited reads it again into `reread` and views that (nullopt when the
// record was deleted meanwhile). On true the image is remembered for a WATCH.
bool AdmitRecordRead(QvdFileState& state, uint32_t record, std::optional<ByteView>& image, Bytes& reread);
// Called by ADD, PUT and DELETE under the writer byte: false with error 32
// when another station has the file locked.
bool AdmitFileChange(QvdFileState& state);
// Called by PUT and DELETE under the writer byte with the record's stored
// image: false with error 43 when another station holds the record, or (PUT
// only) 89 when it is watched and another station changed it since it was
// read. Ends the watch either way.
bool AdmitRecordChange(QvdFileState& state, uint32_t record, const Bytes& stored_image, bool is_put);
// After a DELETE: the record's hold ends with it.
void RecordDeleted(QvdFileState& state, uint32_t record);
// LOGOUT's wait for the writer byte: up to `seconds` (below 0: as long as it
// takes).
bool TakeWriterByte(Store& store, int32_t seconds);

// CLOSE of a file in a transaction: its changes are dropped and it leaves
// the thread's transaction (qvd_driver_transaction.cpp).
void LeaveTransaction(QvdFileState& state);
// A statement of a file in a transaction failed for a reason that dooms the
// transaction (a damaged file): its COMMIT rolls every file back and
// reports `error` with `text`.
void FailTransaction(QvdFileState& state, int32_t error, std::string_view text);
// The count of the driver's open files: the control files of transactions
// are kept open while it is above 0.
void FileOpened();
void FileClosed();

} // namespace qvd
} // namespace morvex
