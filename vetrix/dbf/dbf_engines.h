// The read and write engines behind Read_Dbf and Write_Dbf. They print
// nothing: each answers a result that Read_Dbf and Write_Dbf report.
#pragma once

#include <string>
#include <string_view>

#include "platform/env.h"

struct LookupResult {
  // kWidthsUnclear: the field widths do not add up to the record length, so
  // where the fields lie is not known.
  enum class Kind { kFound, kNotFound, kNotOpened, kWidthsUnclear };
  Kind kind = Kind::kNotFound;
  std::u16string tableName;  // the name as opened
  std::string name, unit;    // the whole fields, when found
  platform::Status cause;
};

// Looks `key` (ANSI) up in the table `tableName`, which gets ".dbf" appended
// when it does not contain ".dbf". The key field is the last descriptor whose
// name begins with "NO1", the name field the last beginning with "PNAME",
// the unit field the last named "UNIT" (case ignored).
LookupResult DbfLookup(platform::Env& env, std::u16string tableName, std::string_view key);

enum class StoreOutcome {
  kUpdated,
  kAppended,
  kNotOpened,      // the table cannot be opened for writing
  kBusy,           // another writer held the table too long
  kNotADbf,        // the table's layout cannot take a record
  kWidthsUnclear,  // the field widths do not add up to the record length
  kKeyTooLong,     // the key is wider than the key field
  kFewerRecords,   // the header counts records the file does not hold
  kFull,           // the record count cannot grow
  kWriteFailed,    // a read or write failed
};

struct StoreResult {
  StoreOutcome outcome = StoreOutcome::kUpdated;
  platform::Status cause;
};

// Stores `name` and `unit` under `key` (all ANSI) in the table `tableName`:
// in the first record whose key matches, or in a new record. The key field
// is the first field; the name and unit fields are the last fields after it
// named "PNAME" and "UNIT". Values longer than their field are cut to it. The
// table is locked against other writers for the whole call.
StoreResult DbfStore(platform::Env& env, std::u16string_view tableName, std::string_view key,
                     std::string_view name, std::string_view unit);
