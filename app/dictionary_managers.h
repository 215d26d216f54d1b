// The managers of the program's two data files: a file manager and a
// relation manager each for Customer and Goods, with the settings, keys,
// relations and links the dictionary gives them, and the program-wide
// references through which procedures reach the files. Program start
// initialises the dictionary after the error reporter and the INI manager
// and kills it before the error reporter.
#pragma once

#include "framework/error_reporter.h"
#include "framework/file_manager.h"
#include "framework/file_relation.h"

namespace tavemon {

// The program-wide references; null outside DictionaryInit .. DictionaryKill.
extern morvex::FileManager* AccessCustomer;
extern morvex::FileManager* AccessGoods;
extern morvex::FileRelation* RelateCustomer;
extern morvex::FileRelation* RelateGoods;

// The references to the relation managers are set; then Customer (its file
// manager with the name "Customer", the record buffer, CREATE 1,
// LOCKRECOVER 10 and the keys in declaration order, CUS:ByID numbered
// automatically; its reference; its relation manager with transactions and
// Goods as the child through GOD:ByID, linked by the customer id, update and
// delete both cascading), then Goods (file manager, reference, relation
// manager naming Customer as its parent).
void DictionaryInit(morvex::ErrorReporter& errors);
// The Customer relation manager's Kill, then the Goods one's: each kills its
// file manager and clears that reference, then its relations, then clears
// the reference to itself.
void DictionaryKill();

} // namespace tavemon
