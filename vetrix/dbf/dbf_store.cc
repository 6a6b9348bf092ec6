#include <algorithm>

#include "platform/ascii.h"
#include "platform/coding.h"
#include "platform/file_writes.h"
#include "platform/text.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/dbf/dbf_format.h"

namespace {

// How long a writer waits (blocked, not polling) for another to finish
// with the table before it gives up with kBusy.
constexpr int kLockTimeoutMs = kDbfLockTimeoutMs;
// Writers lock one byte far beyond any offset a table can reach (a header of
// 64 KiB and 2^32 records of 64 KiB stay below 2^48), as SQLite locks bytes
// that hold no data: a lock over the records themselves would make another
// program's read of them fail on Windows, where locks are mandatory, so a
// Read_Dbf beside a Write_Dbf could miss its key.
constexpr uint64_t kLockOffset = uint64_t{1} << 62;

StoreResult outcome(StoreOutcome kind, platform::Status cause = platform::Status()) {
  StoreResult result;
  result.outcome = kind;
  result.cause = std::move(cause);
  return result;
}

// The fields a store writes.
struct Roles {
  const DbfFieldDescriptor* key = nullptr;
  const DbfFieldDescriptor* name = nullptr;
  const DbfFieldDescriptor* unit = nullptr;
};

// The key field is the last whose name begins with NO1, else the first
// field. The name field is the last named PNAME exactly, else the last whose
// name begins with PNAME (the one Read_Dbf reads); the unit field the last
// named UNIT. The key field has no other role.
Roles findRoles(const std::vector<DbfFieldDescriptor>& fields) {
  Roles roles;
  for (const DbfFieldDescriptor& field : fields) {
    if (platform::startsWithIgnoringAsciiCase(field.name, "NO1")) roles.key = &field;
  }
  if (!roles.key) roles.key = &fields.front();
  const DbfFieldDescriptor* exactName = nullptr;
  const DbfFieldDescriptor* prefixName = nullptr;
  for (const DbfFieldDescriptor& field : fields) {
    if (&field == roles.key) continue;
    if (platform::equalsIgnoringAsciiCase(field.name, "PNAME")) exactName = &field;
    if (platform::startsWithIgnoringAsciiCase(field.name, "PNAME")) prefixName = &field;
    if (platform::equalsIgnoringAsciiCase(field.name, "UNIT")) roles.unit = &field;
  }
  roles.name = exactName ? exactName : prefixName;
  return roles;
}

// Blanks the field and copies the value to its start, cut to the field's
// width without splitting a character.
void fillField(std::string& record, const DbfFieldDescriptor& field, std::string_view value,
               const platform::AnsiCharacters& chars) {
  const size_t at = 1 + field.offset;
  std::fill(record.begin() + static_cast<std::ptrdiff_t>(at),
            record.begin() + static_cast<std::ptrdiff_t>(at + field.width), kDbfBlank);
  const size_t length = platform::clipToCharacters(value, field.width, chars);
  std::copy(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length),
            record.begin() + static_cast<std::ptrdiff_t>(at));
}

// A write that failed, and was put back (`undone` is ok) or not: then the
// table may hold part of the change, and the outcome says so.
StoreResult undoneOrNot(platform::Status cause, const platform::Status& undone) {
  if (undone.ok()) return outcome(StoreOutcome::kWriteFailed, std::move(cause));
  return outcome(
      StoreOutcome::kNotUndone,
      platform::Status::error(
          cause.kind(), cause.systemError(),
          cause.operation() + " (and putting the table back failed: " + undone.toString() + ")",
          cause.path()));
}

// Writes the header's record count.
platform::Status writeRecordCount(platform::File& file, uint32_t count) {
  unsigned char bytes[4];
  platform::encodeFixed32(bytes, count);
  return file.write(kDbfRecordCountOffset, bytes, sizeof bytes);
}

// Appends `record` as record `slot` of the table, whole or not at all.
//
// The table is extended first, with everything of the record but its
// deletion flag and with the new end mark after it; the byte at the slot
// stays the old end mark, so a reader still sees the old table. Then the
// count is raised, which leaves the new record flagged with the end mark:
// readers that stop there (dbfread, and scanRecords) still see the old
// table, and the next append takes that slot again. Last the deletion flag
// makes the record live. Every step is flushed before the next (its bytes
// and the file's length: the times and attributes need no flush). A failure
// puts back what was changed: the count, the bytes the record covered, the
// file's length.
StoreResult appendRecord(platform::File& file, const DbfTable& table, uint64_t slot,
                         const std::string& record) {
  const uint64_t recordLength = table.header.recordLength();
  const uint64_t at = table.header.headerLength() + slot * recordLength;
  const uint64_t oldLength = table.fileLength;
  const uint32_t oldCount = table.header.recordCount();
  const auto newCount = static_cast<uint32_t>(slot + 1);
  // Bytes after the old end mark that the record will cover.
  std::string covered;
  if (oldLength > at + 1) {
    covered.resize(static_cast<size_t>(std::min(oldLength, at + recordLength + 1) - (at + 1)));
    platform::Status s = platform::readExactly(file, at + 1, covered.data(), covered.size());
    if (!s.ok()) return outcome(StoreOutcome::kWriteFailed, s);
  }
  bool countWritten = false, flagWritten = false;
  auto undo = [&](platform::Status cause) {
    platform::Status undone;
    if (flagWritten) undone = file.write(at, &kDbfEndOfFile, 1);
    if (undone.ok() && countWritten) undone = writeRecordCount(file, oldCount);
    if (undone.ok() && !covered.empty())
      undone = file.write(at + 1, covered.data(), covered.size());
    if (undone.ok()) undone = file.truncate(oldLength);
    if (undone.ok()) undone = file.syncData();
    return undoneOrNot(std::move(cause), undone);
  };

  std::string tail = record.substr(1);
  tail.push_back(kDbfEndOfFile);
  platform::Status s;
  if (at >= oldLength) s = file.write(at, &kDbfEndOfFile, 1);  // the mark it lacked
  if (s.ok()) s = file.write(at + 1, tail.data(), tail.size());
  if (s.ok()) s = file.syncData();
  if (s.ok() && newCount != oldCount) {
    countWritten = true;
    s = writeRecordCount(file, newCount);
    if (s.ok()) s = file.syncData();
  }
  if (s.ok()) {
    flagWritten = true;
    s = file.write(at, record.data(), 1);
  }
  if (s.ok()) s = file.syncData();
  if (!s.ok()) return undo(s);
  (void)file.close();  // synced: a failure to close loses nothing
  return outcome(StoreOutcome::kAppended);
}

// Whether a record can be written into `table` soundly: a layout that
// takes one, nothing a writer would have to guess at, and the records the
// header counts all there and none after them. kUpdated when it can.
StoreResult checkWritable(platform::File& file, const DbfTable& table) {
  if (const TableFault fault = tableFault(table); fault != TableFault::kNone) {
    StoreResult refused = outcome(StoreOutcome::kRefused);
    refused.fault = fault;
    return refused;
  }
  const DbfHeader& header = table.header;
  const uint64_t recordLength = header.recordLength();
  if (table.fields.empty() || header.headerLength() > table.fileLength || recordLength < 2) {
    return outcome(StoreOutcome::kNotADbf);
  }
  for (const DbfFieldDescriptor& field : table.fields) {
    if (field.offset + field.width > recordLength - 1) {
      return outcome(StoreOutcome::kNotADbf);  // a field past the record
    }
  }
  if (!table.terminated) return outcome(StoreOutcome::kHeaderTooShort);
  if (header.hasProductionIndex()) return outcome(StoreOutcome::kProductionIndex);
  // A table cut short is damaged, and so is one with records after those it
  // counts: neither is written at all.
  const uint32_t count = header.recordCount();
  if (count > table.recordsPresent()) return outcome(StoreOutcome::kFewerRecords);
  const uint64_t end = header.headerLength() + uint64_t{count} * recordLength;
  if (end < table.fileLength) {
    char next = 0;
    const platform::Status s = platform::readExactly(file, end, &next, 1);
    if (!s.ok()) return outcome(StoreOutcome::kWriteFailed, s);
    if (next != kDbfEndOfFile) return outcome(StoreOutcome::kUncountedRecords);
  }
  return outcome(StoreOutcome::kUpdated);
}

// The key, name and unit as the table's code page holds them, exactly, and
// the fields they go into.
struct Values {
  std::string key, name, unit;  // the key without the blanks that pad it
  Roles roles;
};

// kUpdated with *values filled in, or why they cannot be stored.
StoreResult valuesFor(const DbfTable& table, std::u16string_view key, std::u16string_view name,
                      std::u16string_view unit, Values* values) {
  for (auto [value, text] :
       {std::pair{key, &values->key}, {name, &values->name}, {unit, &values->unit}}) {
    if (!platform::toCodePageExact(table.codePage, value, text)) {
      StoreResult refused = outcome(StoreOutcome::kNotInCodePage);
      refused.codePage = table.codePage;
      refused.value = value;
      return refused;
    }
  }
  const Roles& roles = values->roles = findRoles(table.fields);
  const DbfFieldDescriptor& keyField = *roles.key;
  values->key = std::string(trimKey(values->key, keyField.isNumeric()));
  if (values->key.empty()) return outcome(StoreOutcome::kEmptyKey);
  if (values->key.size() > keyField.width) return outcome(StoreOutcome::kKeyTooLong);
  if (!roles.name && !values->name.empty()) return outcome(StoreOutcome::kNoNameField);
  if (!roles.unit && !values->unit.empty()) return outcome(StoreOutcome::kNoUnitField);
  if (roles.name && roles.name->type != 'C') return outcome(StoreOutcome::kNameNotCharacter);
  if (roles.unit && roles.unit->type != 'C') return outcome(StoreOutcome::kUnitNotCharacter);
  return outcome(StoreOutcome::kUpdated);
}

// Writes the name and unit over those of the record found, whole or put back.
StoreResult updateRecord(platform::File& file, const DbfRecord& found, const Values& values,
                         const platform::AnsiCharacters& chars) {
  std::string record = found.bytes;
  if (values.roles.name) fillField(record, *values.roles.name, values.name, chars);
  if (values.roles.unit) fillField(record, *values.roles.unit, values.unit, chars);
  platform::Status s = file.write(found.offset, record.data(), record.size());
  if (s.ok()) s = file.syncData();
  if (!s.ok()) {
    // A write cut short would leave a record of neither value.
    platform::Status undone = file.write(found.offset, found.bytes.data(), found.bytes.size());
    if (undone.ok()) undone = file.syncData();
    return undoneOrNot(s, undone);
  }
  (void)file.close();  // synced: a failure to close loses nothing
  return outcome(StoreOutcome::kUpdated);
}

// A new record of the table holding the values, every other field empty.
StoreResult newRecord(const DbfTable& table, const Values& values,
                      const platform::AnsiCharacters& chars, std::string* record) {
  const DbfFieldDescriptor& keyField = *values.roles.key;
  if (keyField.type != 'C') return outcome(StoreOutcome::kKeyNotCharacter);
  record->assign(static_cast<size_t>(table.header.recordLength()), kDbfBlank);
  for (const DbfFieldDescriptor& field : table.fields) {
    char fill = kDbfBlank;
    if (!field.emptyValue(&fill)) return outcome(StoreOutcome::kUnknownFieldType);
    std::fill_n(record->begin() + 1 + field.offset, field.width, fill);
  }
  fillField(*record, keyField, values.key, chars);
  if (values.roles.name) fillField(*record, *values.roles.name, values.name, chars);
  if (values.roles.unit) fillField(*record, *values.roles.unit, values.unit, chars);
  return outcome(StoreOutcome::kAppended);
}

}  // namespace

StoreResult storeDbfRecord(platform::Env& env, std::u16string_view tableName,
                           std::u16string_view key, std::u16string_view name,
                           std::u16string_view unit) {
  std::unique_ptr<platform::File> file;
  platform::Status s = platform::openForUpdate(env, tableName, &file);
  if (!s.ok()) return outcome(StoreOutcome::kNotOpened, s);
  // Held from the scan to the last write: two writers never claim one slot.
  s = file->lock(kLockOffset, 1, kLockTimeoutMs);
  if (!s.ok()) return outcome(StoreOutcome::kBusy, s);
  DbfTable table;
  s = readTable(*file, &table);
  if (!s.ok()) {
    const bool corrupt = s.kind() == platform::ErrorKind::kCorrupt;
    return outcome(corrupt ? StoreOutcome::kNotADbf : StoreOutcome::kWriteFailed, s);
  }
  StoreResult checked = checkWritable(*file, table);
  Values values;
  if (checked.outcome == StoreOutcome::kUpdated) {
    checked = valuesFor(table, key, name, unit, &values);
  }
  if (checked.outcome != StoreOutcome::kUpdated) return checked;

  const platform::AnsiCharacters chars(table.codePage);
  const DbfScan scan = scanRecords(*file, table, *values.roles.key, values.key);
  if (scan.kind == DbfScan::Kind::kReadFailed) {
    return outcome(StoreOutcome::kWriteFailed, scan.cause);
  }
  if (scan.kind == DbfScan::Kind::kFound) return updateRecord(*file, scan.found, values, chars);

  // Only the last counted record may carry the end mark as its flag: an
  // append that stopped before its last step. Anywhere else it is damage.
  const uint32_t count = table.header.recordCount();
  if (scan.end < count && scan.end + 1 != count) return outcome(StoreOutcome::kNotADbf);
  std::string record;
  const StoreResult made = newRecord(table, values, chars, &record);
  if (made.outcome != StoreOutcome::kAppended) return made;
  if (scan.end >= UINT32_MAX) return outcome(StoreOutcome::kFull);
  return appendRecord(*file, table, scan.end, record);
}
