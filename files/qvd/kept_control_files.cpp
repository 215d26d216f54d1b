#include "files/qvd/kept_control_files.h"

#include "runtime/error_numbers.h"

#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvex::qvd {

namespace {

struct KeptControl {
    std::mutex mutex; // one transaction at a time: a Store is not shared between threads
    std::unique_ptr<Store> store;
    ControlFile file;
    FileIdentity identity;
    pid_t owner = 0; // the process that opened it
};

struct KeptControls {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<KeptControl>> by_path;
};

KeptControls& Kept() {
    static KeptControls* kept = new KeptControls; // never destroyed: files may close during exit
    return *kept;
}

bool StillNamed(const std::string& path, const FileIdentity& identity) {
    struct stat now {};
    return ::stat(path.c_str(), &now) == 0 && static_cast<uint64_t>(now.st_dev) == identity.device &&
           static_cast<uint64_t>(now.st_ino) == identity.inode;
}

void Close(KeptControl& control) {
    if (control.store && control.owner != ::getpid()) {
        // Inherited through fork: its locks belong to the parent's open too,
        // so closing it here would release them under the parent.
        static std::vector<Store*>* inherited = new std::vector<Store*>;
        inherited->push_back(control.store.release());
    } else if (control.store) {
        ForgetListedNumber(control.file);
    }
    control.file = ControlFile{};
    control.store.reset();
}

} // namespace

int32_t WithControlFile(const std::string& path, const std::function<int32_t(ControlFile&)>& commit) {
    KeptControl* control = nullptr;
    {
        KeptControls& kept = Kept();
        std::lock_guard lock(kept.mutex);
        std::unique_ptr<KeptControl>& slot = kept.by_path[path];
        if (!slot)
            slot = std::make_unique<KeptControl>();
        control = slot.get();
    }
    std::lock_guard lock(control->mutex);
    // A control file deleted or replaced since (a directory made anew) is
    // not the one recoveries will ask: open the one the path names now.
    if (control->store && (control->owner != ::getpid() || !StillNamed(path, control->identity)))
        Close(*control);
    if (!control->store) {
        StoreOptions options;
        options.create_if_missing = true;
        int32_t error = 0;
        control->store = Store::Open(path, options, error);
        if (!control->store)
            return ErrUnableToLogTransaction;
        control->file.store = control->store.get();
        control->owner = ::getpid();
        // Kept open only where the path can be checked to name it still.
        control->file.list_ahead = control->store->LocalIdentity(control->identity);
    }
    const int32_t result = commit(control->file);
    if (!control->file.list_ahead)
        Close(*control);
    return result;
}

void CloseControlFiles() {
    KeptControls& kept = Kept();
    std::lock_guard lock(kept.mutex);
    for (auto& [path, control] : kept.by_path) {
        std::lock_guard held(control->mutex);
        Close(*control);
    }
    kept.by_path.clear();
}

} // namespace morvex::qvd
