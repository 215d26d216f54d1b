// FileRelation: the relation manager that stands beside a file's manager. It
// knows the file's relations to other files (which fields link a parent to
// its children, through which key of the child file they are found, and what
// a change or delete of the parent does to them), opens and closes a file
// together with its related files, and deletes and updates records with
// referential integrity, inside one transaction of the file driver interface
// when `USELOGOUT` is set.
//
// The walks over the related files are in file_relation.cpp; the deletes and
// updates with their cascades in file_relation_writes.cpp.
#pragma once

#include "framework/field_pairs.h"
#include "framework/form_files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvex {

class FileManager;
class FileRelation;
struct FileDeclaration;
struct KeyDeclaration;

// What a change of the parent's linking fields, or its delete, does to the
// children.
enum RelationMode : uint8_t {
    RelationNone = 0,
    RelationClear = 1,    // the children's linking fields are cleared
    RelationRestrict = 2, // refused while children exist
    RelationCascade = 3,  // the children follow (new values, or deleted with the parent)
};

struct RelationRecord {
    FileRelation* FILE = nullptr;
    // The linking fields (left: this file's, right: the child's; the buffer
    // keeps the left value as saved); null for a relation to a parent.
    std::unique_ptr<BufferedPairs> FIELDS;
    // The child's key whose leading components are the linking fields; null
    // for a relation to a parent.
    KeyDeclaration* HISKEY = nullptr;
    uint8_t UPDATEMODE = RelationNone;
    uint8_t DELETEMODE = RelationNone;
};

class FileRelation : public FormRelation {
public:
    FileRelation() = default;
    ~FileRelation() override = default;
    FileRelation(const FileRelation&) = delete;
    FileRelation& operator=(const FileRelation&) = delete;

    // The method table, in slot order.
    int CancelAutoInc() override;
    // Closes the file and, once each, every file related to it.
    virtual int Close();
    // Deletes the current record with its children as the delete modes say;
    // `ask` asks the user first.
    int Delete(bool ask) override;
    // On a child's relation while its parent (whose linking fields are the
    // left fields of `pairs`) is deleted.
    virtual int CascadeDelete(KeyDeclaration& key, BufferedPairs& pairs, uint8_t mode);
    virtual void Kill();
    // Opens the file and, once each, every file related to it.
    virtual int Open();
    // Each pair's buffer = its left field's value, for every relation.
    virtual void SaveLinkValues();
    // Sends "QUICKSCAN=on|off" to the file and, with `propagate` 1 to its
    // parents, 2 to its children, any other non-zero value to all related
    // files, recursively and once each.
    virtual void SetQuickScan(bool on, int propagate = 0);
    // Writes the current record; children follow a change of the linking
    // fields as the update modes say. `history`: the form has a ditto
    // button, which another station's change mentions.
    int Update(bool history) override;
    // On a child's relation while its parent's linking fields change from
    // the buffers of `pairs` to their left fields.
    virtual int CascadeUpdate(KeyDeclaration& key, BufferedPairs& pairs, uint8_t mode);

    void Init(FileManager& me, bool use_transactions);
    // A relation to a parent.
    void AddRelation(FileRelation& related);
    // A relation to a child found through `his_key`; the links follow with
    // AddRelationLink.
    void AddRelation(FileRelation& related, uint8_t update_mode, uint8_t delete_mode,
                     KeyDeclaration& his_key);
    // A pair of linking fields (this file's, the child's) for the relation
    // added last.
    void AddRelationLink(const BoundVariable& left, const BoundVariable& right);

    FormFile& file() override;

    FileManager* ME = nullptr;
    std::unique_ptr<std::vector<RelationRecord>> RELATIONS;
    FileRelation* ALIASFILE = nullptr;
    uint8_t USELOGOUT = 0;
    int32_t LASTTOUCHED = 0;

private:
    enum class Walk { Open, Close, QuickScanOn, QuickScanOff };
    enum class Change { Update, Delete };

    // The recursive walks (file_relation.cpp). `opened` collects what a
    // failed open has to close again.
    int open_walk(int32_t pass, bool entry, std::vector<FileRelation*>& opened);
    int close_walk(int32_t pass);
    void quick_scan_walk(int32_t pass, bool on, int propagate);

    // The transaction (file_relation_transaction.cpp): every file a change
    // touches enlisted and the transaction started; false (reported) when
    // it cannot be framed. Without transactions (the driver answers 80),
    // `USELOGOUT` is cleared and the work goes on without one.
    bool start_transaction(Change change);
    void enlist(Change change, std::vector<FileRelation*>& touched, std::vector<FileDeclaration*>& files,
                bool& failed);
    // Ends the transaction this manager's thread started, if one runs.
    static void roll_back();
    static bool commit();

    // The children of a parent, as record positions, found through `key` at
    // the linking values (the left fields, or the buffers when `old_values`).
    // A level: 5 (reported, rolled back) when reading failed.
    int find_children(KeyDeclaration& key, BufferedPairs& pairs, bool old_values,
                      std::vector<std::string>& children);
    // Whether the current child still carries the linking values.
    static bool links_match(BufferedPairs& pairs, bool old_values);
    // The child's relations that follow a change of its linking fields, then
    // the child written; a level.
    int UpdateChildren();
    int cascade_delete_children();
    int delete_record();
    // The linking values the current record's children hold, taken from the
    // stored record when SaveLinkValues was not called for it.
    void take_link_values_if_stale();
    bool links_changed(const RelationRecord& relation) const;
    void reset_links_from_buffers();

    // The record SaveLinkValues saved the linking values of.
    std::string m_links_position;
};

} // namespace morvex
