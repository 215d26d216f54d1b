// The program's two data files, Customer and Goods: their record buffers and
// their declarations with fields and keys. Both are stored by the QVD driver.
//
// The record structs mirror the declared layouts byte for byte (a LONG is an
// int32_t, a STRING(20) a FixedText<20>), so the file statements read and
// write the members directly.
#pragma once

#include "files/file_declaration.h"
#include "runtime/fixed_text.h"

#include <cstdint>

namespace tavemon {

struct CustomerRecord {
    int32_t CUSID;
    morvex::FixedText<20> NAME;
    morvex::FixedText<20> SUBURB;
    morvex::FixedText<20> PHONE;
    int32_t STARTDATE; // a standard date
};
static_assert(sizeof(CustomerRecord) == 68);

struct GoodsRecord {
    int32_t CUSID;
    morvex::FixedText<20> GOODS;
};
static_assert(sizeof(GoodsRecord) == 24);

// The static record buffers.
extern CustomerRecord CUS;
extern GoodsRecord GOD;

// The declarations, keys in declaration order.
extern morvex::FileDeclaration Customer;
extern morvex::FileDeclaration Goods;

// Customer's keys: 1 CUS:BYNAME, 2 CUS:BYSTARTDATENAME, 3 CUS:BYPHONE,
// 4 CUS:BYSUBURB, 5 CUS:BYID; Goods' key: 1 GOD:BYID.
morvex::KeyDeclaration& CUS_ByName();
morvex::KeyDeclaration& CUS_ByStartDateName();
morvex::KeyDeclaration& CUS_ByPhone();
morvex::KeyDeclaration& CUS_BySuburb();
morvex::KeyDeclaration& CUS_ByID();
morvex::KeyDeclaration& GOD_ByID();

// The declarations' content, for code that declares a file of the same layout
// with a buffer of its own (the morvex tool). `driver` may be null. The disk
// names are "Customer" and "Goods" (the QVD driver adds .QVD).
morvex::FileSpec CustomerSpec(morvex::DriverEntry driver, void* record_buffer);
morvex::FileSpec GoodsSpec(morvex::DriverEntry driver, void* record_buffer);

// The driver both files use: the QVD driver, unless replaced (tests use a
// driver of their own).
void SetDictionaryDriver(morvex::DriverEntry driver);

} // namespace tavemon
