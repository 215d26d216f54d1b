// The file managers of the program's two data files, Customer and Goods,
// with the settings the dictionary gives them. Program start initialises them
// after the error reporter and kills them before it.
#pragma once

#include "framework/error_reporter.h"
#include "framework/file_manager.h"

namespace tavemon {

// The program-wide references; null outside Init .. Kill.
extern morvex::FileManager* AccessCustomer;
extern morvex::FileManager* AccessGoods;

// Customer, then Goods: Init with the program's error reporter, the names
// "Customer" and "Goods", the record buffers, CREATE 1, LOCKRECOVER 10 and
// the keys in declaration order with their descriptions; CUS:ByID numbers
// its one component automatically.
void InitDictionaryManagers(morvex::ErrorReporter& errors);
// Kills both managers and clears the references.
void KillDictionaryManagers();

} // namespace tavemon
