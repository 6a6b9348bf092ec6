// The read and write engines behind Read_Dbf and Write_Dbf.
#pragma once

#include <string>
#include <string_view>

// Looks `key` (ANSI) up in the table `tableName`, which gets ".dbf" appended
// when it does not contain ".dbf". The key field is the last descriptor whose
// name begins with "NO1", the name field the last beginning with "PNAME",
// the unit field the last named "UNIT" (case ignored). On a match, *name and
// *unit receive the whole fields. Prints "\nOpen DBF NAME Fail->[table]" when
// the table cannot be opened. True when a record matched.
bool DbfLookup(std::u16string& tableName, std::string_view key, std::string* name,
               std::string* unit);

enum class StoreResult {
  kUpdated,
  kAppended,
  kNotOpened,  // reported on standard output
  kRefused,    // the table or the key cannot take the record; reported
  kFailed,     // a write failed; reported
};

// Stores `name` and `unit` under `key` (all ANSI) in the table `tableName`:
// in the first record whose key matches, or in a new record. The key field
// is the first field; the name and unit fields are the last fields after it
// named "PNAME" and "UNIT". Values longer than their field are cut to it. The
// table is locked against other writers for the whole call.
StoreResult DbfStore(std::u16string_view tableName, std::string_view key, std::string_view name,
                     std::string_view unit);
