// Store's public operations: opening, tables, staged changes and commits.
// Every entry point takes a reader slot and refreshes the header first; a
// corruption inside one turns into a failed result only within a
// CorruptionAsReturn scope (otherwise it has already ended the program).
#include "files/qvd/qvd_store.h"

#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "platform/os_error.h"
#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/fatal_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <random>
#include <thread>
#include <unistd.h>

namespace morvex::qvd {

namespace {

// Marks the store as in use by the calling thread for one call; a call
// from another thread meanwhile is a program fault (see qvd_store.h).
class OneCaller {
public:
    explicit OneCaller(StoreImpl& impl) : m_caller(impl.caller()) {
        const std::thread::id self = std::this_thread::get_id();
        // A call made from inside another (a page read's hold test) finds
        // its own thread there: only this thread stores its id, so a plain
        // load sees it, and no exchange is needed.
        if (m_caller.load(std::memory_order_relaxed) == self)
            return;
        std::thread::id none;
        if (m_caller.compare_exchange_strong(none, self, std::memory_order_acquire)) {
            m_first = true;
        } else if (none != self) {
            FatalError(0, "A QVD file's store was used by two threads at once");
        }
    }
    ~OneCaller() {
        if (m_first)
            m_caller.store(std::thread::id(), std::memory_order_release);
    }
    OneCaller(const OneCaller&) = delete;
    OneCaller& operator=(const OneCaller&) = delete;

private:
    std::atomic<std::thread::id>& m_caller;
    bool m_first = false;
};

template <typename Result, typename Operation>
Result Guarded(StoreImpl& impl, Result failure, Operation&& operation) {
    const OneCaller one_caller(impl);
    try {
        return operation();
    } catch (const CorruptionSignal& signal) {
        impl.note_failure(ErrInvalidDataFile, signal.code);
        NoteReturnedCorruption(signal.code);
        impl.cache().clear();
        impl.header_state().invalidate();
        return failure;
    } catch (const std::bad_alloc&) {
        impl.note_failure(ErrInsufficientMemory);
        impl.cache().clear();
        SetError(ErrInsufficientMemory);
        return failure;
    } catch (const AccessRefused& refused) {
        impl.note_failure(refused.error);
        SetError(refused.error);
        return failure;
    } catch (const RestartAccess&) {
        // Another process committed while the access ran from the cache:
        // run it again, holding a reader slot from the start.
        impl.locks().set_access_state(AccessState::MustLock);
        const Result result = Guarded(impl, failure, operation);
        impl.locks().set_access_state(AccessState::Slotted);
        return result;
    }
}

Bytes TableNameKey(std::string_view name) {
    Bytes key = TableKeyPrefix(DirectoryTable, EntryTableName);
    if (name.empty())
        name = DefaultTableName;
    for (char c : name)
        key.push_back(static_cast<uint8_t>(AsciiUpper(c)));
    return key;
}

// A file made by an open appears under its name with its header already in
// it: it is made under a temporary name beside it, its empty header
// committed, and then linked to its name (which fails harmlessly when another
// process made the file meanwhile). A process killed during its first commit
// so leaves a file that opens, never one with no header at offset 0. Where
// the file system cannot link, or the temporary file cannot be made, nothing
// is done here and the open makes the file itself. 0, or the errno with
// which the open fails: the new name could not be made durable, and is gone.
int CreateWithHeader(const std::string& path, const StoreOptions& options) {
    if (::access(path.c_str(), F_OK) == 0 || errno != ENOENT)
        return 0;
    const std::filesystem::path target(path);
    std::random_device random;
    const std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(random()) + ".new"))
            .string();
    const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    StoreOptions made = options;
    made.io = AdoptPosixDescriptor(fd);
    made.exclusive = true;
    OpenFailure failure;
    int error = 0;
    if (std::unique_ptr<Store> store = Store::OpenIo(made.io, made, failure); store && store->Commit() == 0) {
        store->Close();
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            const std::string directory = target.has_parent_path() ? target.parent_path().string() : ".";
            const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir < 0 || ::fsync(dir) != 0) {
                error = errno;
                ::unlink(path.c_str());
            }
            if (dir >= 0)
                ::close(dir);
        }
    }
    ::unlink(temporary.c_str());
    return error;
}

} // namespace

Bytes TableKeyPrefix(uint32_t table, uint8_t entry_type) {
    return Bytes{static_cast<uint8_t>(table), static_cast<uint8_t>(table >> 8),
                 static_cast<uint8_t>(table >> 16), static_cast<uint8_t>(table >> 24), entry_type};
}

Store::Store(std::unique_ptr<StoreImpl> impl) : m_impl(std::move(impl)) {}

Store::~Store() {
    Close();
}

std::unique_ptr<Store> Store::Open(const std::string& path, const StoreOptions& options, int32_t& error) {
    OpenFailure failure;
    std::unique_ptr<Store> store = Open(path, options, failure);
    error = failure.error;
    return store;
}

std::unique_ptr<Store> Store::OpenIo(std::shared_ptr<FileIo> io, const StoreOptions& options,
                                     int32_t& error) {
    OpenFailure failure;
    std::unique_ptr<Store> store = OpenIo(std::move(io), options, failure);
    error = failure.error;
    return store;
}

std::unique_ptr<Store> Store::Open(const std::string& path, const StoreOptions& options,
                                   OpenFailure& failure) {
    std::shared_ptr<FileIo> io = options.io;
    if (!io) {
        const int made = options.create_if_missing && options.mode == OpenMode::ReadWrite
                             ? CreateWithHeader(path, options)
                             : 0;
        errno = made;
        if (made == 0)
            io = OpenPosixFile(
                path, options.mode == OpenMode::ReadWrite ? FileAccess::ReadWrite : FileAccess::ReadOnly,
                options.create_if_missing ? FileCreation::CreateIfMissing : FileCreation::OpenExisting);
        if (!io) {
            const int e = errno;
            failure.reason = std::strerror(e); // the number says it all for 2 and 3
            if (e == ENOENT) {
                failure.reason.clear();
                const std::filesystem::path parent = std::filesystem::path(path).parent_path();
                std::error_code ec;
                failure.error = parent.empty() || std::filesystem::is_directory(parent, ec) ? ErrFileNotFound
                                                                                            : ErrPathNotFound;
            } else if (e == EACCES || e == EPERM || e == EROFS) {
                failure.error = ErrAccessDenied;
            } else if (e == ENOTDIR) {
                failure.error = ErrPathNotFound;
                failure.reason.clear();
            } else if (e == EISDIR || e == NotRegularFile) {
                failure.error = ErrInvalidDataFile;
                failure.reason = e == EISDIR ? "a directory, not a QVD file" : "not a regular file";
            } else {
                failure.error = OsErrorNumber(platform::os_error_from_errno(e));
            }
            return nullptr;
        }
    }
    return OpenIo(std::move(io), options, failure);
}

std::unique_ptr<Store> Store::OpenIo(std::shared_ptr<FileIo> io, const StoreOptions& options,
                                     OpenFailure& failure) {
    auto impl = std::make_unique<StoreImpl>(std::move(io), options);
    StoreImpl& s = *impl;
    failure = OpenFailure{};
    if (!s.locks().take_sharing()) {
        failure = OpenFailure{ErrAccessDenied, std::string(FileInUse)};
        return nullptr;
    }
    const bool opened = Guarded(s, false, [&] {
        if (!s.locks().lock(0, LockMode::Reader, true)) {
            failure = OpenFailure{ErrAccessDenied, std::string(FileInUse)};
            return false;
        }
        int32_t result = 0;
        try {
            result = s.header_state().load();
        } catch (...) {
            s.locks().unlock(0, LockMode::Reader);
            throw;
        }
        s.locks().unlock(0, LockMode::Reader);
        if (result != 0) {
            failure = OpenFailure{result, "not a QVD file"};
            return false;
        }
        return true;
    });
    if (!opened) {
        if (failure.error == 0) // a damaged file met while opening, turned into a return
            failure = OpenFailure{ErrInvalidDataFile, CorruptionText(s.last_corruption())};
        s.locks().release_sharing();
        return nullptr;
    }
    return std::unique_ptr<Store>(new Store(std::move(impl)));
}

std::optional<uint32_t> Store::FindTable(std::string_view name) {
    StoreImpl& s = *m_impl;
    return Guarded(s, std::optional<uint32_t>(), [&]() -> std::optional<uint32_t> {
        AccessScope access(s);
        const std::optional<Bytes> data = s.get(TableNameKey(name));
        if (!data || data->size() < 4)
            return std::nullopt;
        return Load32(data->data());
    });
}

uint32_t Store::CreateTable(std::string_view name) {
    if (const std::optional<uint32_t> existing = FindTable(name))
        return *existing;
    uint32_t highest = DirectoryTable;
    for (const auto& [table_name, number] : Tables())
        highest = std::max(highest, number);
    const uint32_t number = highest + 1;
    Bytes data(4);
    Store32(data.data(), number);
    const std::string_view spelled = name.empty() ? DefaultTableName : name;
    data.insert(data.end(), spelled.begin(), spelled.end());
    Put(TableNameKey(name), data);
    return number;
}

std::vector<std::pair<std::string, uint32_t>> Store::Tables() {
    StoreImpl& s = *m_impl;
    using List = std::vector<std::pair<std::string, uint32_t>>;
    return Guarded(s, List(), [&] {
        AccessScope access(s);
        List tables;
        const Bytes prefix = TableKeyPrefix(DirectoryTable, EntryTableName);
        Bytes position = prefix;
        SeekMode mode = SeekMode::AtOrAfter;
        while (std::optional<Entry> entry = s.seek(position, mode, prefix)) {
            if (entry->data.size() >= 4)
                tables.emplace_back(std::string(entry->data.begin() + 4, entry->data.end()),
                                    Load32(entry->data.data()));
            position = std::move(entry->key);
            mode = SeekMode::After;
        }
        return tables;
    });
}

std::optional<Bytes> Store::Get(ByteView key) {
    StoreImpl& s = *m_impl;
    return Guarded(s, std::optional<Bytes>(), [&] {
        AccessScope access(s);
        return s.get(key);
    });
}

void Store::Put(ByteView key, ByteView data) {
    if (key.size() > MaxKeyLength || key.size() + data.size() > MaxEntryLength) {
        StoreImpl& s = *m_impl;
        Guarded(s, 0, []() -> int { QvdCorruption(CorruptEntryTooLong); });
        return;
    }
    const OneCaller one_caller(*m_impl);
    m_impl->staged().put(key, data);
}

bool Store::Erase(ByteView key) {
    StoreImpl& s = *m_impl;
    return Guarded(s, false, [&] {
        AccessScope access(s);
        const std::optional<StagedChanges::Change> staged = s.staged().find(key);
        if (staged && !staged->data)
            return false;
        if (!staged && !s.tree_get(key))
            return false;
        // An entry put since the last commit and not in the tree is erased
        // as well: the commit passes over an erasure of an absent key.
        s.staged().erase(key);
        return true;
    });
}

std::optional<Entry> Store::Seek(ByteView key, SeekMode mode, ByteView prefix) {
    StoreImpl& s = *m_impl;
    return Guarded(s, std::optional<Entry>(), [&] {
        AccessScope access(s);
        return s.seek(key, mode, prefix);
    });
}

std::optional<FollowedEntry> Store::SeekFollow(ByteView key, SeekMode mode, ByteView prefix, bool exact,
                                               const FollowKey& follow) {
    StoreImpl& s = *m_impl;
    return Guarded(s, std::optional<FollowedEntry>(), [&] {
        AccessScope access(s);
        return s.views().seek_follow(key, mode, prefix, exact, follow);
    });
}

Store::ScanEnd Store::ScanFollow(ByteView key, SeekMode mode, ByteView prefix, const FollowKey& follow,
                                 size_t limit, const std::function<bool(const FollowedEntry&)>& visit) {
    StoreImpl& s = *m_impl;
    size_t shown = 0;
    return Guarded(s, ScanEnd::Ended, [&] {
        AccessScope access(s);
        return s.views().scan_follow(key, mode, prefix, follow, limit, visit, shown);
    });
}

uint64_t Store::Count(ByteView prefix) {
    StoreImpl& s = *m_impl;
    return Guarded(s, uint64_t{0}, [&] {
        AccessScope access(s);
        return s.count(prefix);
    });
}

uint32_t Store::IssueRecordNumber() {
    StoreImpl& s = *m_impl;
    return Guarded(s, uint32_t{0}, [&] {
        if (!s.writer())
            QvdCorruption(CorruptNotWriter);
        AccessScope access(s);
        const uint32_t last = std::max(s.header().last_record_number, s.issued_record().value_or(0));
        // Counted byte by byte from the least significant byte, carrying upwards.
        uint8_t bytes[4] = {static_cast<uint8_t>(last >> 24), static_cast<uint8_t>(last >> 16),
                            static_cast<uint8_t>(last >> 8), static_cast<uint8_t>(last)};
        for (int i = 3; i >= 0; --i) {
            if (++bytes[i] != 0)
                break;
        }
        if (bytes[0] >= 0xFE)
            QvdCorruption(CorruptRecordNumbersExhausted);
        const uint32_t next = (static_cast<uint32_t>(bytes[0]) << 24) |
                              (static_cast<uint32_t>(bytes[1]) << 16) |
                              (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
        s.issued_record() = next;
        return next;
    });
}

int32_t Store::Commit() {
    StoreImpl& s = *m_impl;
    if (s.closed())
        return ErrFileNotOpen;
    if (!s.writer())
        return s.staged().empty() && !s.issued_record() ? 0 : ErrAccessDenied;
    if (const int32_t failure = s.doomed(); failure != 0) {
        Rollback();
        return failure;
    }
    return Guarded(s, ErrInvalidDataFile, [&] { return s.commits().commit(); });
}

int32_t Store::PrepareCommit() {
    StoreImpl& s = *m_impl;
    if (s.closed())
        return ErrFileNotOpen;
    if (!s.writer())
        return ErrAccessDenied;
    if (const int32_t failure = s.doomed(); failure != 0) {
        Rollback();
        return failure;
    }
    return Guarded(s, ErrInvalidDataFile, [&] { return s.commits().prepare(true); });
}

int32_t Store::FinishCommit() {
    StoreImpl& s = *m_impl;
    return Guarded(s, ErrInvalidDataFile, [&] { return s.commits().finish(); });
}

void Store::AbandonCommit() {
    StoreImpl& s = *m_impl;
    s.clear_doom();
    Guarded(s, 0, [&] {
        s.commits().abandon();
        return 0;
    });
}

void Store::Rollback() {
    AbandonCommit();
}

size_t Store::Savepoint() {
    return m_impl->staged().savepoint();
}

void Store::RollbackTo(size_t savepoint) {
    m_impl->staged().undo_to(savepoint);
}

bool Store::HasStagedChanges() const {
    return !m_impl->staged().empty() || m_impl->issued_record().has_value();
}

int32_t Store::Flush() {
    StoreImpl& s = *m_impl;
    // A failed flush stays failed for the rest of the open, as a failed
    // write does: the data it should have made durable may be lost, and a
    // later flush that finds nothing to write proves nothing.
    if (s.writer())
        s.flush_file();
    return s.write_error();
}

void Store::Close() {
    StoreImpl& s = *m_impl;
    if (s.closed())
        return;
    if (s.commits().prepared())
        AbandonCommit();
    s.mark_closed();
    s.staged().clear();
    s.locks().release_all();
    s.cache().clear();
}

bool Store::Lock(uint32_t position, LockMode mode, bool wait) {
    StoreImpl& s = *m_impl;
    return Guarded(s, false, [&] { return s.locks().lock(position, mode, wait); });
}

void Store::Unlock(uint32_t position, LockMode mode) {
    StoreImpl& s = *m_impl;
    Guarded(s, 0, [&] {
        s.locks().unlock(position, mode);
        return 0;
    });
}

bool Store::IsLockedElsewhere(uint32_t position) {
    StoreImpl& s = *m_impl;
    return Guarded(s, false, [&] { return s.locks().locked_elsewhere(position); });
}

bool Store::LocalIdentity(FileIdentity& identity) {
    return m_impl->io().local_identity(identity);
}

void Store::Refresh() {
    StoreImpl& s = *m_impl;
    Guarded(s, 0, [&] {
        AccessScope access(s);
        return 0;
    });
}

uint32_t Store::ChangeCounter() {
    StoreImpl& s = *m_impl;
    return Guarded(s, 0u, [&] {
        AccessScope access(s);
        return s.header().change_counter;
    });
}

bool Store::CheckContainer(CheckReport& report) {
    StoreImpl& s = *m_impl;
    CorruptionAsReturn as_return;
    bool whole = false;
    const bool ran = Guarded(s, false, [&] {
        AccessScope access(s);
        whole = s.check(report);
        return true;
    });
    if (!ran)
        report.add("file", 0, CorruptionText(s.last_corruption()));
    return ran && whole;
}

std::optional<std::string> Store::Check() {
    CheckReport report;
    CheckContainer(report);
    if (report.ok())
        return std::nullopt;
    return CheckProblemText(report.first().front());
}

StoreInfo Store::Info() {
    StoreImpl& s = *m_impl;
    return Guarded(s, StoreInfo(), [&] {
        AccessScope access(s);
        return s.info();
    });
}

int32_t Store::LastCorruption() const {
    return m_impl->last_corruption();
}

int32_t Store::TakeFailure() {
    return m_impl->take_failure();
}

} // namespace morvex::qvd
