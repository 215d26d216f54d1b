// FileRelation: set-up, the relations and their links, and the recursive
// walks over the related files (open, close, quick scan). A walk is one pass
// of the program-wide pass counter; a relation that already carries the pass
// has been visited, so relations that name each other are visited once.
#include "framework/file_relation.h"

#include "files/file_statements.h"
#include "framework/file_manager.h"

#include <algorithm>
#include <atomic>

namespace morvex {

namespace {

std::atomic<int32_t> PassCounter{0};

int32_t next_pass() {
    return PassCounter.fetch_add(1) + 1;
}

} // namespace

void FileRelation::Init(FileManager& me, bool use_transactions) {
    ME = &me;
    USELOGOUT = use_transactions ? 1 : 0;
    RELATIONS = std::make_unique<std::vector<RelationRecord>>();
}

void FileRelation::AddRelation(FileRelation& related) {
    RelationRecord relation;
    relation.FILE = &related;
    RELATIONS->push_back(std::move(relation));
}

void FileRelation::AddRelation(FileRelation& related, uint8_t update_mode, uint8_t delete_mode,
                               KeyDeclaration& his_key) {
    RELATIONS->push_back(RelationRecord{.FILE = &related,
                                        .FIELDS = std::make_unique<BufferedPairs>(),
                                        .HISKEY = &his_key,
                                        .UPDATEMODE = update_mode,
                                        .DELETEMODE = delete_mode});
}

void FileRelation::AddRelationLink(const BoundVariable& left, const BoundVariable& right) {
    if (!RELATIONS || RELATIONS->empty() || !RELATIONS->back().FIELDS)
        return;
    RELATIONS->back().FIELDS->AddPair(left, right);
}

void FileRelation::Kill() {
    if (RELATIONS)
        for (RelationRecord& relation : *RELATIONS)
            if (relation.FIELDS)
                relation.FIELDS->Kill();
    RELATIONS.reset();
}

FormFile& FileRelation::file() {
    return *ME;
}

int FileRelation::CancelAutoInc() {
    return ME->CancelAutoInc(this);
}

void FileRelation::SaveLinkValues() {
    if (!RELATIONS)
        return;
    bool links = false;
    for (RelationRecord& relation : *RELATIONS) {
        if (relation.FIELDS) {
            relation.FIELDS->AssignLeftToBuffer();
            links = true;
        }
    }
    // Which record the values belong to, so that Update knows whether they
    // are the current record's.
    ME->GetInfo();
    m_links_position = links && ME->info().USED ? ME->Position() : std::string();
}

int FileRelation::Open() {
    std::vector<FileRelation*> opened;
    const int level = open_walk(next_pass(), true, opened);
    if (level != 0) {
        // What this walk opened is closed again, so a failed open leaves
        // every open count as it found it.
        for (auto relation = opened.rbegin(); relation != opened.rend(); ++relation)
            (*relation)->ME->Close();
    }
    return level;
}

int FileRelation::open_walk(int32_t pass, bool entry, std::vector<FileRelation*>& opened) {
    if (!entry && LASTTOUCHED == pass)
        return 0;
    LASTTOUCHED = pass;
    // A related file is opened (counted, so that Close's close balances it)
    // and put to use, so that it is physically open with the file it belongs
    // to: a missing one is created there and then.
    if (const int level = ME->Open())
        return level;
    opened.push_back(this);
    if (!entry)
        if (const int level = ME->UseFile(2))
            return level;
    if (RELATIONS)
        for (RelationRecord& relation : *RELATIONS)
            if (const int level = relation.FILE->open_walk(pass, false, opened))
                return level;
    return 0;
}

int FileRelation::Close() {
    return close_walk(next_pass());
}

int FileRelation::close_walk(int32_t pass) {
    if (LASTTOUCHED == pass)
        return 0;
    LASTTOUCHED = pass;
    if (const int level = ME->Close())
        return level;
    if (RELATIONS)
        for (RelationRecord& relation : *RELATIONS)
            if (const int level = relation.FILE->close_walk(pass))
                return level;
    return 0;
}

void FileRelation::SetQuickScan(bool on, int propagate) {
    quick_scan_walk(next_pass(), on, propagate);
}

void FileRelation::quick_scan_walk(int32_t pass, bool on, int propagate) {
    if (LASTTOUCHED == pass)
        return;
    LASTTOUCHED = pass;
    SEND(*ME->FILE, on ? "QUICKSCAN=on" : "QUICKSCAN=off");
    if (propagate == 0 || !RELATIONS)
        return;
    for (RelationRecord& relation : *RELATIONS) {
        const bool child = relation.HISKEY != nullptr;
        if ((propagate == 1 && child) || (propagate == 2 && !child))
            continue;
        relation.FILE->quick_scan_walk(pass, on, propagate);
    }
}

} // namespace morvex
