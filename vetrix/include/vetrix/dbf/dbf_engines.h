// The read and write engines behind Read_Dbf and Write_Dbf. They print
// nothing: each answers a result that Read_Dbf and Write_Dbf report.
//
// Keys and values cross in UTF-16: a table's text is in the code page its
// language-driver byte names, or the ANSI code page when it names none, and
// the engines convert in the table's own.
#pragma once

#include <string>
#include <string_view>

#include "platform/env.h"
#include "vetrix/dbf/dbf_format.h"

struct [[nodiscard]] LookupResult {
  // kNotFound only for a table read to its end; kReadFailed when a read of
  // it failed.
  enum class Kind { kFound, kNotFound, kNotOpened, kRefused, kReadFailed };
  Kind kind = Kind::kNotFound;
  TableFault fault = TableFault::kNone;  // why, when kRefused
  std::u16string tableName;              // the name as opened
  // The caller's key as the table's code page holds it (its case and
  // length), and the whole name and unit fields when found.
  std::u16string key, name, unit;
  platform::Status cause;
};

// Looks `key` up in the table `tableName`, which gets ".dbf" appended when
// it does not contain ".dbf". The key field is the last descriptor whose
// name begins with "NO1", else the first field (as storeDbfRecord keys a
// table); of the others, the name field is the last beginning with
// "PNAME", the unit field the last named "UNIT" (case ignored). A record matches
// when its key, without the blanks that pad it, equals the key ignoring the
// case of ASCII letters; records marked deleted are never found, and
// neither is the empty key.
LookupResult findDbfRecord(platform::Env& env, std::u16string tableName, std::u16string_view key);

// How long Write_Dbf waits for another writer of the table to finish
// before it gives up (kBusy), in milliseconds.
constexpr int kDbfLockTimeoutMs = 30000;

enum class StoreOutcome {
  kUpdated,
  kAppended,
  kNotOpened,         // the table cannot be opened for writing
  kBusy,              // another writer held the table past kDbfLockTimeoutMs
  kNotADbf,           // the table's layout cannot take a record
  kRefused,           // a TableFault
  kHeaderTooShort,    // the header length ends inside the field descriptors
  kUncountedRecords,  // records follow those the header counts
  kProductionIndex,   // an index beside the table would miss the change
  kNotInCodePage,     // a value the table's code page cannot hold exactly
  kEmptyKey,          // no key given
  kKeyTooLong,        // the key is wider than the key field
  kNoNameField,       // a name given for a table without a name field
  kNoUnitField,       // a unit given for a table without a unit field
  kNameNotCharacter,  // the name field holds no text (a number, a date...)
  kUnitNotCharacter,  // likewise the unit field
  kKeyNotCharacter,   // a new key for a key field that holds no text
  kUnknownFieldType,  // a field whose empty value is not known
  kFewerRecords,      // the header counts records the file does not hold
  kFull,              // the record count cannot grow
  kWriteFailed,       // a read or write failed; the table is as it was
  kNotUndone,         // a write failed, and so did putting the table back
};

struct [[nodiscard]] StoreResult {
  StoreOutcome outcome = StoreOutcome::kUpdated;
  platform::Status cause;
  TableFault fault = TableFault::kNone;  // when kRefused
  int codePage = 0;                      // the table's, for kNotInCodePage
  std::u16string value;                  // the value it cannot hold
};

// Stores `name` and `unit` under `key` in the table `tableName`: in the
// first live record whose key matches (as findDbfRecord matches), or in a new
// record. The key field is the last field whose name begins with "NO1", or
// the first field when none does; the name field the last named "PNAME",
// else the last beginning with "PNAME"; the unit field the last named
// "UNIT". Values longer than their field are cut to it. The table is locked
// against other writers for the whole call, and an append is whole or
// undone.
StoreResult storeDbfRecord(platform::Env& env, std::u16string_view tableName,
                           std::u16string_view key, std::u16string_view name,
                           std::u16string_view unit);
