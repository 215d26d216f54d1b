#include "app/dictionary.h"

#include "files/qvd/qvd_driver.h"

#include <cstddef>

namespace tavemon {

using morvex::FieldDescription;
using morvex::FieldType;
using morvex::FileSpec;
using morvex::KeyDeclaration;
using morvex::RecordDescription;
using namespace morvex; // the key attribute bits

morvex::FileSpec CustomerSpec(morvex::DriverEntry driver, void* record_buffer) {
    return FileSpec{
        .label = "CUSTOMER",
        .driver = driver,
        .record_buffer = record_buffer,
        .record = RecordDescription(
            sizeof(CustomerRecord),
            {FieldDescription::Of(FieldType::Long, "CUS:CUSID", offsetof(CustomerRecord, CUSID)),
             FieldDescription::Sized(FieldType::String, "CUS:NAME", offsetof(CustomerRecord, NAME), 20),
             FieldDescription::Sized(FieldType::String, "CUS:SUBURB", offsetof(CustomerRecord, SUBURB), 20),
             FieldDescription::Sized(FieldType::String, "CUS:PHONE", offsetof(CustomerRecord, PHONE), 20),
             FieldDescription::Of(FieldType::Long, "CUS:STARTDATE", offsetof(CustomerRecord, STARTDATE))}),
        .keys =
            {
                {.label = "CUS:BYNAME", .attributes = KeyOpt | KeyNoCase, .components = {2}},
                {.label = "CUS:BYSTARTDATENAME",
                 .attributes = KeyDup | KeyOpt | KeyNoCase,
                 .components = {5, 2}},
                {.label = "CUS:BYPHONE", .attributes = KeyDup | KeyOpt | KeyNoCase, .components = {4}},
                {.label = "CUS:BYSUBURB", .attributes = KeyDup | KeyOpt | KeyNoCase, .components = {3}},
                {.label = "CUS:BYID", .attributes = KeyOpt | KeyNoCase | KeyPrimary, .components = {1}},
            },
        .options = {.name = "Customer"},
    };
}

morvex::FileSpec GoodsSpec(morvex::DriverEntry driver, void* record_buffer) {
    return FileSpec{
        .label = "GOODS",
        .driver = driver,
        .record_buffer = record_buffer,
        .record = RecordDescription(
            sizeof(GoodsRecord),
            {FieldDescription::Of(FieldType::Long, "GOD:CUSID", offsetof(GoodsRecord, CUSID)),
             FieldDescription::Sized(FieldType::String, "GOD:GOODS", offsetof(GoodsRecord, GOODS), 20)}),
        .keys = {{.label = "GOD:BYID", .attributes = KeyDup | KeyOpt | KeyNoCase, .components = {1}}},
        .options = {.name = "Goods"},
    };
}

CustomerRecord CUS{};
GoodsRecord GOD{};

morvex::FileDeclaration Customer(CustomerSpec(morvex::QvdDriver, &CUS));
morvex::FileDeclaration Goods(GoodsSpec(morvex::QvdDriver, &GOD));

KeyDeclaration& CUS_ByName() {
    return *Customer.key(1);
}
KeyDeclaration& CUS_ByStartDateName() {
    return *Customer.key(2);
}
KeyDeclaration& CUS_ByPhone() {
    return *Customer.key(3);
}
KeyDeclaration& CUS_BySuburb() {
    return *Customer.key(4);
}
KeyDeclaration& CUS_ByID() {
    return *Customer.key(5);
}
KeyDeclaration& GOD_ByID() {
    return *Goods.key(1);
}

void SetDictionaryDriver(morvex::DriverEntry driver) {
    Customer.driver = driver;
    Goods.driver = driver;
}

} // namespace tavemon
