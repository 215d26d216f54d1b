#include "app/dictionary_managers.h"

#include "app/dictionary.h"

namespace tavemon {

using morvex::FileBuffer;
using morvex::FileManager;

FileManager* AccessCustomer = nullptr;
FileManager* AccessGoods = nullptr;

namespace {

FileManager CustomerManager;
FileManager GoodsManager;

} // namespace

void InitDictionaryManagers(morvex::ErrorReporter& errors) {
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

    GoodsManager.Init(Goods, errors);
    GoodsManager.FILENAMEVALUE = "Goods";
    GoodsManager.BUFFER = FileBuffer{reinterpret_cast<uint8_t*>(&GOD), &Goods.record, sizeof GOD};
    GoodsManager.CREATE = 1;
    GoodsManager.LOCKRECOVER = 10;
    GoodsManager.AddKey(GOD_ByID(), "GOD:ByID");
    AccessGoods = &GoodsManager;
}

void KillDictionaryManagers() {
    if (AccessCustomer)
        AccessCustomer->Kill();
    AccessCustomer = nullptr;
    if (AccessGoods)
        AccessGoods->Kill();
    AccessGoods = nullptr;
}

} // namespace tavemon
