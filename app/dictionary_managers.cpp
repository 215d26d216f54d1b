#include "app/dictionary_managers.h"

#include "app/dictionary.h"

namespace tavemon {

using morvex::BoundVariable;
using morvex::FieldType;
using morvex::FileBuffer;
using morvex::FileManager;
using morvex::FileRelation;

FileManager* AccessCustomer = nullptr;
FileManager* AccessGoods = nullptr;
FileRelation* RelateCustomer = nullptr;
FileRelation* RelateGoods = nullptr;

namespace {

// A relation manager that kills its file manager before its relations and
// clears the program-wide references as it goes.
class DictionaryRelation : public FileRelation {
public:
    DictionaryRelation(FileManager*& file_reference, FileRelation*& self_reference)
        : m_file_reference(file_reference), m_self_reference(self_reference) {}

    void Kill() override {
        if (m_file_reference)
            m_file_reference->Kill();
        m_file_reference = nullptr;
        FileRelation::Kill();
        m_self_reference = nullptr;
    }

private:
    FileManager*& m_file_reference;
    FileRelation*& m_self_reference;
};

FileManager CustomerManager;
FileManager GoodsManager;
DictionaryRelation CustomerRelation(AccessCustomer, RelateCustomer);
DictionaryRelation GoodsRelation(AccessGoods, RelateGoods);

BoundVariable long_field(int32_t& field) {
    return BoundVariable{FieldType::Long, &field, sizeof field, 0, 1};
}

void init_customer(morvex::ErrorReporter& errors) {
    CustomerManager.Init(Customer, errors);
    CustomerManager.FILENAMEVALUE = "Customer";
    CustomerManager.BUFFER = FileBuffer{reinterpret_cast<uint8_t*>(&CUS), &Customer.record, sizeof CUS};
    CustomerManager.CREATE = 1;
    CustomerManager.LOCKRECOVER = 10;
    CustomerManager.AddKey(CUS_ByName(), "CUS:ByName");
    CustomerManager.AddKey(CUS_ByStartDateName(), "CUS:ByStartDateName");
    CustomerManager.AddKey(CUS_ByPhone(), "CUS:ByPhone");
    CustomerManager.AddKey(CUS_BySuburb(), "CUS:BySuburb");
    CustomerManager.AddKey(CUS_ByID(), "CUS:ByID", 1);
    AccessCustomer = &CustomerManager;
    CustomerRelation.Init(CustomerManager, true);
    CustomerRelation.AddRelation(GoodsRelation, morvex::RelationCascade, morvex::RelationCascade, GOD_ByID());
    CustomerRelation.AddRelationLink(long_field(CUS.CUSID), long_field(GOD.CUSID));
}

void init_goods(morvex::ErrorReporter& errors) {
    GoodsManager.Init(Goods, errors);
    GoodsManager.FILENAMEVALUE = "Goods";
    GoodsManager.BUFFER = FileBuffer{reinterpret_cast<uint8_t*>(&GOD), &Goods.record, sizeof GOD};
    GoodsManager.CREATE = 1;
    GoodsManager.LOCKRECOVER = 10;
    GoodsManager.AddKey(GOD_ByID(), "GOD:ByID");
    AccessGoods = &GoodsManager;
    GoodsRelation.Init(GoodsManager, true);
    GoodsRelation.AddRelation(CustomerRelation);
}

} // namespace

void DictionaryInit(morvex::ErrorReporter& errors) {
    RelateCustomer = &CustomerRelation;
    RelateGoods = &GoodsRelation;
    init_customer(errors);
    init_goods(errors);
}

void DictionaryKill() {
    if (RelateCustomer)
        RelateCustomer->Kill();
    if (RelateGoods)
        RelateGoods->Kill();
}

} // namespace tavemon
