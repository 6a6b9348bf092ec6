#include <algorithm>

#include "platform/ascii.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/dbf/dbf_format.h"

namespace {

// How long a writer waits for another to finish with the table.
constexpr int kLockTimeoutMs = 2000;
// Writers lock one byte far beyond any offset a table can reach (a header of
// 64 KiB and 2^32 records of 64 KiB stay below 2^48), as SQLite locks bytes
// that hold no data: a lock over the records themselves would make another
// program's read of them fail on Windows, where locks are mandatory, so a
// Read_Dbf beside a Write_Dbf could miss its key.
constexpr uint64_t kLockOffset = uint64_t{1} << 62;

// Blanks the field and copies the value to its start, cut to the field's
// width without splitting a character.
void fillField(std::string& record, const DbfFieldDescriptor& field, std::string_view value) {
  const size_t at = 1 + field.offset;
  std::fill(record.begin() + static_cast<std::ptrdiff_t>(at),
            record.begin() + static_cast<std::ptrdiff_t>(at + field.width), kDbfBlank);
  const size_t length = platform::clipToCharacters(value, field.width);
  std::copy(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length),
            record.begin() + static_cast<std::ptrdiff_t>(at));
}

StoreResult outcome(StoreOutcome kind, platform::Status cause = platform::Status()) {
  return StoreResult{kind, std::move(cause)};
}

}  // namespace

StoreResult DbfStore(platform::Env& env, std::u16string_view tableName, std::string_view key,
                     std::string_view name, std::string_view unit) {
  std::unique_ptr<platform::File> file;
  platform::Status s = env.openFile(tableName, platform::OpenMode::kReadWrite, &file);
  if (!s.ok()) return outcome(StoreOutcome::kNotOpened, s);
  // Held from the scan to the last write: two writers never claim one slot.
  s = file->lock(kLockOffset, 1, kLockTimeoutMs);
  if (!s.ok()) return outcome(StoreOutcome::kBusy, s);
  DbfTable table;
  s = readTable(*file, &table);
  if (!s.ok()) return outcome(StoreOutcome::kNotADbf, s);

  const DbfHeader& header = table.header;
  const uint64_t recordLength = header.recordLength();
  if (table.fields.empty() || header.headerLength() > table.fileLength || recordLength < 2) {
    return outcome(StoreOutcome::kNotADbf);
  }
  if (table.widthsUnclear) return outcome(StoreOutcome::kWidthsUnclear);
  const DbfFieldDescriptor* nameField = nullptr;
  const DbfFieldDescriptor* unitField = nullptr;
  for (size_t j = 0; j < table.fields.size(); ++j) {
    const DbfFieldDescriptor& field = table.fields[j];
    if (field.offset + field.width > recordLength - 1) {
      return outcome(StoreOutcome::kNotADbf);  // a field past the record
    }
    if (j == 0) continue;  // the key field is never the name or unit field
    if (platform::equalsIgnoringAsciiCase(field.name, "PNAME")) nameField = &field;
    if (platform::equalsIgnoringAsciiCase(field.name, "UNIT")) unitField = &field;
  }
  const DbfFieldDescriptor& keyField = table.fields[0];
  if (key.size() > keyField.width) return outcome(StoreOutcome::kKeyTooLong);
  // A table cut short is damaged: it is not written at all.
  const uint32_t count = header.recordCount();
  if (count > table.recordsPresent()) return outcome(StoreOutcome::kFewerRecords);

  DbfRecord record;
  const ScanResult scan = scanRecords(*file, table, keyField.width, key, &record, &s);
  if (scan == ScanResult::kReadFailed) return outcome(StoreOutcome::kWriteFailed, s);
  if (scan == ScanResult::kFound) {
    if (nameField) fillField(record.bytes, *nameField, name);
    if (unitField) fillField(record.bytes, *unitField, unit);
    s = file->write(record.offset, record.bytes.data(), record.bytes.size());
    if (s.ok()) s = file->close();
    return outcome(s.ok() ? StoreOutcome::kUpdated : StoreOutcome::kWriteFailed, s);
  }

  if (count == UINT32_MAX) return outcome(StoreOutcome::kFull);
  std::string fresh(static_cast<size_t>(recordLength), kDbfBlank);
  std::copy(key.begin(), key.end(), fresh.begin() + 1);
  if (nameField) fillField(fresh, *nameField, name);
  if (unitField) fillField(fresh, *unitField, unit);
  // The new record takes the first slot the header does not count. The end
  // mark follows it when it ends the file; records the header does not count
  // may follow it, and are not overwritten: the mark stays at the end.
  const uint64_t slot = header.headerLength() + uint64_t{count} * recordLength;
  const uint64_t end = slot + recordLength;
  if (end >= table.fileLength) {
    fresh.push_back(kDbfEndOfFile);
  } else {
    char last = 0;
    s = platform::readExactly(*file, table.fileLength - 1, &last, 1);
    if (!s.ok()) return outcome(StoreOutcome::kWriteFailed, s);
    if (last != kDbfEndOfFile) {
      s = file->write(table.fileLength, &kDbfEndOfFile, 1);
      if (!s.ok()) return outcome(StoreOutcome::kWriteFailed, s);
    }
  }
  // The record (and its end mark) first, the raised count last: a write that
  // fails midway leaves a header that still describes the table.
  DbfHeader raised = header;
  raised.setRecordCount(count + 1);
  s = file->write(slot, fresh.data(), fresh.size());
  if (s.ok()) s = file->write(0, raised.raw, kDbfHeaderSize);
  if (s.ok()) s = file->close();
  return outcome(s.ok() ? StoreOutcome::kAppended : StoreOutcome::kWriteFailed, s);
}
