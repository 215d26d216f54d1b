// FileRelation: deletes and updates with referential integrity. The family
// of related files is opened for the length of the operation, the files the
// change may write are enlisted in one transaction (when `USELOGOUT` is
// set), and a parent's delete or change of its linking fields reaches its
// children, and theirs, as each relation's mode says. Every failure after
// the transaction started rolls it back before its message is shown, so the
// files are as they were.
//
// The children of a parent are found first (their record positions, through
// the child key at the linking values) and then changed one by one: changing
// a child moves it within the key it was found by, so reading on from it
// would skip or revisit children.
#include "files/file_statements.h"
#include "framework/file_manager.h"
#include "framework/file_manager_errors.h"
#include "framework/file_relation.h"
#include "runtime/error_state.h"

namespace morvex {

namespace {

constexpr uint16_t RecordChangedElsewhereDitto = 7;
constexpr uint16_t ConfirmDelete = 9;
constexpr uint16_t RestrictedDelete = 30;
constexpr uint16_t RestrictedUpdate = 31;
constexpr uint16_t DeleteAgain = 33;

bool has_child_mode(uint8_t mode) {
    return mode >= RelationClear && mode <= RelationCascade;
}

} // namespace

int FileRelation::Delete(bool ask) {
    if (ask && ME->Throw(ConfirmDelete) != Level::Benign)
        return Level::Notify;
    for (;;) {
        const std::string position = ME->Position();
        int result = Open();
        if (result != Level::Benign)
            return result;
        if (!start_transaction(Change::Delete)) {
            result = Level::Notify;
        } else if (ME->TryReget(position) != Level::Benign) {
            // The record is gone (or cannot be read): nothing is deleted.
            ME->SetError(RecordNotDeleted);
            roll_back();
            ME->ThrowSaved();
            result = Level::Notify;
        } else if ((result = cascade_delete_children()) == Level::Benign) {
            result = delete_record();
            if (result == Level::Benign && !commit()) {
                ME->SetError(RecordNotDeleted);
                ME->ThrowSaved();
                result = Level::Notify;
            }
        }
        roll_back();
        Close();
        if (result == Level::Benign || ME->Throw(DeleteAgain) != Level::Benign)
            return result;
    }
}

int FileRelation::cascade_delete_children() {
    if (!RELATIONS)
        return Level::Benign;
    for (RelationRecord& relation : *RELATIONS) {
        if (!relation.HISKEY || !has_child_mode(relation.DELETEMODE))
            continue;
        if (const int level =
                relation.FILE->CascadeDelete(*relation.HISKEY, *relation.FIELDS, relation.DELETEMODE))
            return level;
    }
    return Level::Benign;
}

int FileRelation::delete_record() {
    DELETE(*ME->FILE);
    if (ErrorCode() == 0)
        return Level::Benign;
    ME->SetError(RecordNotDeleted);
    roll_back();
    ME->ThrowSaved();
    return Level::Notify;
}

int FileRelation::CascadeDelete(KeyDeclaration& key, BufferedPairs& pairs, uint8_t mode) {
    if (ME->UseFile(2) != Level::Benign) {
        roll_back();
        return Level::Notify;
    }
    uint16_t saved = ME->SaveFile();
    std::vector<std::string> children;
    int result = find_children(key, pairs, false, children);
    if (result == Level::Benign && !children.empty() && mode == RelationRestrict) {
        ME->SetError(RestrictedDelete);
        roll_back();
        ME->ThrowSaved();
        result = Level::Notify;
        children.clear();
    }
    for (const std::string& child : children) {
        REGET(*ME->FILE, child);
        // A child another station took away meanwhile (only possible without
        // a transaction) is no longer ours to change.
        if (ErrorCode() != 0 || !links_match(pairs, false))
            continue;
        if (mode == RelationClear) {
            SaveLinkValues();
            pairs.ClearRight();
            if (UpdateChildren() != Level::Benign) {
                result = Level::Notify;
                break;
            }
        } else if (mode == RelationCascade) {
            if ((result = cascade_delete_children()) != Level::Benign)
                break;
            if ((result = delete_record()) != Level::Benign)
                break;
        }
    }
    ME->RestoreFile(saved, true);
    return result;
}

int FileRelation::Update(bool history) {
    if (const int level = Open())
        return level;
    if (!start_transaction(Change::Update)) {
        Close();
        return Level::Notify;
    }
    take_link_values_if_stale();
    ME->GetInfo();
    ME->info().LASTERROR = 0;
    if (const int level = ME->TryUpdate(); level != Level::Benign) {
        roll_back();
        ME->GetInfo();
        uint8_t& last = ME->info().LASTERROR;
        if (history && last == RecordChangedElsewhere)
            last = RecordChangedElsewhereDitto;
        if (level == Level::Notify)
            ME->ThrowSaved();
        const int result = last == RecordChangedElsewhere || last == RecordChangedElsewhereDitto
                               ? Level::Notify
                               : Level::User;
        Close();
        return result;
    }
    if (RELATIONS) {
        for (RelationRecord& relation : *RELATIONS) {
            if (!relation.HISKEY || !has_child_mode(relation.UPDATEMODE) || !links_changed(relation))
                continue;
            if (const int level =
                    relation.FILE->CascadeUpdate(*relation.HISKEY, *relation.FIELDS, relation.UPDATEMODE)) {
                roll_back();
                relation.FIELDS->AssignBufferToLeft();
                Close();
                return level;
            }
        }
    }
    int result = Level::Benign;
    if (!commit()) {
        ME->SetError(RecordNotUpdated);
        ME->ThrowSaved();
        result = Level::Notify;
    } else {
        // The stored record's links are the new values now.
        SaveLinkValues();
    }
    Close();
    return result;
}

int FileRelation::CascadeUpdate(KeyDeclaration& key, BufferedPairs& pairs, uint8_t mode) {
    if (ME->UseFile(2) != Level::Benign) {
        roll_back();
        return Level::Notify;
    }
    uint16_t saved = ME->SaveFile();
    std::vector<std::string> children;
    int result = find_children(key, pairs, true, children);
    for (const std::string& child : children) {
        REGET(*ME->FILE, child);
        if (ErrorCode() != 0 || !links_match(pairs, true))
            continue;
        SaveLinkValues();
        if (mode == RelationRestrict) {
            ME->SetError(RestrictedUpdate);
            roll_back();
            ME->ThrowSaved();
            pairs.AssignBufferToLeft();
            result = Level::Notify;
            break;
        }
        if (mode == RelationClear)
            pairs.ClearRight();
        else if (mode == RelationCascade)
            pairs.AssignLeftToRight();
        else
            break;
        if (UpdateChildren() != Level::Benign) {
            result = Level::Notify;
            break;
        }
    }
    ME->RestoreFile(saved, true);
    return result;
}

int FileRelation::UpdateChildren() {
    if (RELATIONS) {
        for (RelationRecord& relation : *RELATIONS) {
            if (!relation.HISKEY || !has_child_mode(relation.UPDATEMODE) || !links_changed(relation))
                continue;
            if (relation.FILE->CascadeUpdate(*relation.HISKEY, *relation.FIELDS, relation.UPDATEMODE) !=
                Level::Benign) {
                relation.FIELDS->AssignBufferToLeft();
                return Level::Notify;
            }
        }
    }
    if (ME->TryUpdate() != Level::Benign) {
        roll_back();
        ME->ThrowSaved();
        return Level::Notify;
    }
    return Level::Benign;
}

int FileRelation::find_children(KeyDeclaration& key, BufferedPairs& pairs, bool old_values,
                                std::vector<std::string>& children) {
    // The values are taken before the record is cleared: a file related to
    // itself has its linking fields in the record being cleared.
    std::vector<PairValue> values;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        values.push_back(PairValue::CopyOf(old_values ? pairs.buffer(i) : pairs.pairs()[i].LEFT.field));
    ClearRecord(*ME->BUFFER.fields, ME->record());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        AssignValue(pairs.pairs()[i].RIGHT.field, values[i].field);
    ME->SetKeyComponents(key, static_cast<int32_t>(pairs.size()) + 1, ME->GetComponents(key), false);
    SET(key, key);
    for (;;) {
        const int level = ME->TryNext();
        if (level == Level::Benign) {
            bool same = true;
            for (std::size_t i = 0; same && i < pairs.size(); ++i)
                same = EqualValues(pairs.pairs()[i].RIGHT.field, values[i].field);
            if (!same)
                return Level::Benign;
            children.push_back(POSITION(*ME->FILE));
            continue;
        }
        if (ME->GetEOF())
            return Level::Benign;
        // A read error, or a child held by another station: the children
        // cannot all be reached, so nothing is changed.
        roll_back();
        ME->ThrowSaved();
        children.clear();
        return Level::Notify;
    }
}

bool FileRelation::links_match(BufferedPairs& pairs, bool old_values) {
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const FieldPairs::Pair& pair = pairs.pairs()[i];
        if (!EqualValues(pair.RIGHT.field, old_values ? pairs.buffer(i) : pair.LEFT.field))
            return false;
    }
    return true;
}

bool FileRelation::links_changed(const RelationRecord& relation) const {
    return relation.FIELDS && !relation.FIELDS->EqualLeftBuffer();
}

void FileRelation::take_link_values_if_stale() {
    if (!RELATIONS)
        return;
    bool follows = false;
    for (const RelationRecord& relation : *RELATIONS)
        follows = follows || (relation.HISKEY && has_child_mode(relation.UPDATEMODE));
    if (!follows)
        return;
    const std::string here = ME->Position();
    if (here.empty() || here == m_links_position)
        return;
    // The values were saved for another record (or never): the children
    // hold the stored record's values, which are read without disturbing
    // the caller's record. A watched record is watched again.
    const bool watched = FileProperty(*ME->FILE, FilePropertyWatched) == "1";
    uint16_t saved = ME->SaveBuffer();
    if (watched)
        WATCH(*ME->FILE);
    if (ME->TryReget(here) == Level::Benign) {
        for (RelationRecord& relation : *RELATIONS)
            if (relation.FIELDS)
                relation.FIELDS->AssignLeftToBuffer();
        m_links_position = here;
    }
    ME->RestoreBuffer(saved, true);
}

} // namespace morvex
