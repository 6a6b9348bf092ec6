#include <algorithm>

#include "frame/host_interface.h"
#include "platform/platform.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/dbf/dbf_format.h"

namespace {

// How long a writer waits for another to finish with the table.
constexpr int kLockTimeoutMs = 2000;
// "無法開啟檔案 " in Big5, whatever the ANSI code page.
constexpr char kCannotOpenBig5[] = "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 ";

// Blanks the field and copies the value to its start, cut to the field's
// width without splitting a double-byte character.
void fillField(std::string& record, const DbfFieldDescriptor& field, std::string_view value) {
  const size_t at = 1 + field.offset;
  std::fill(record.begin() + static_cast<std::ptrdiff_t>(at),
            record.begin() + static_cast<std::ptrdiff_t>(at + field.width), kDbfBlank);
  const size_t length = platform::clipToCharacters(value, field.width);
  std::copy(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length),
            record.begin() + static_cast<std::ptrdiff_t>(at));
}

StoreResult refuse(const char16_t* format, std::u16string_view table) {
  const std::u16string name(table);
  zcutPrintf(format, name.c_str());
  return StoreResult::kRefused;
}

StoreResult failed(std::u16string_view table) {
  const std::u16string name(table);
  zcutPrintf(u"\nWRITE DBF FILE ERROR: %s", name.c_str());
  return StoreResult::kFailed;
}

}  // namespace

StoreResult DbfStore(std::u16string_view tableName, std::string_view key, std::string_view name,
                     std::string_view unit) {
  std::unique_ptr<platform::File> file =
      platform::Env::current()->openFile(tableName, platform::OpenMode::kReadWrite);
  if (!file) {
    platform::writeStandardOutput(std::string(kCannotOpenBig5) + platform::toAnsi(tableName));
    return StoreResult::kNotOpened;
  }
  // Held from the scan to the last write: two writers never claim one slot.
  if (!file->lockExclusive(kLockTimeoutMs)) {
    return refuse(u"\nDBF FILE BUSY, NOT WRITTEN: %s", tableName);
  }
  DbfTable table;
  if (!readTable(*file, &table)) return refuse(u"\nNOT A DBF FILE: %s", tableName);

  const DbfHeader& header = table.header;
  const uint64_t recordLength = header.recordLength();
  if (table.fields.empty() || table.fields.size() < descriptorCount(header) ||
      header.headerLength() > table.fileLength || recordLength < 2) {
    return refuse(u"\nNOT A DBF FILE: %s", tableName);
  }
  const DbfFieldDescriptor* nameField = nullptr;
  const DbfFieldDescriptor* unitField = nullptr;
  for (size_t j = 0; j < table.fields.size(); ++j) {
    const DbfFieldDescriptor& field = table.fields[j];
    if (field.offset + field.width > recordLength - 1) {
      return refuse(u"\nNOT A DBF FILE: %s", tableName);  // a field past the record
    }
    if (j == 0) continue;  // the key field is never the name or unit field
    if (fieldNameIs(field.name, "PNAME")) nameField = &field;
    if (fieldNameIs(field.name, "UNIT")) unitField = &field;
  }
  const DbfFieldDescriptor& keyField = table.fields[0];
  if (key.size() > keyField.width) return refuse(u"\nKEY TOO LONG FOR DBF FILE: %s", tableName);

  DbfRecord record;
  const ScanResult scan = scanRecords(*file, table, keyField.width, key, &record);
  if (scan == ScanResult::kReadFailed) return failed(tableName);
  if (scan == ScanResult::kFound) {
    if (nameField) fillField(record.bytes, *nameField, name);
    if (unitField) fillField(record.bytes, *unitField, unit);
    if (!file->write(record.offset, record.bytes.data(), record.bytes.size())) {
      return failed(tableName);
    }
    return file->close() ? StoreResult::kUpdated : failed(tableName);
  }

  const uint32_t count = header.recordCount();
  if (count > table.recordsPresent()) {
    return refuse(u"\nDBF FILE HOLDS FEWER RECORDS THAN IT COUNTS: %s", tableName);
  }
  if (count == UINT32_MAX) return refuse(u"\nDBF FILE FULL: %s", tableName);
  std::string fresh(static_cast<size_t>(recordLength), kDbfBlank);
  std::copy(key.begin(), key.end(), fresh.begin() + 1);
  if (nameField) fillField(fresh, *nameField, name);
  if (unitField) fillField(fresh, *unitField, unit);
  fresh.push_back(kDbfEndOfFile);
  // The record and its end mark first, the raised count last: a write that
  // fails midway leaves a header that still describes the table.
  DbfHeader raised = header;
  raised.setRecordCount(count + 1);
  if (!file->write(header.headerLength() + count * recordLength, fresh.data(), fresh.size()) ||
      !file->write(0, raised.raw, kDbfHeaderSize)) {
    return failed(tableName);
  }
  return file->close() ? StoreResult::kAppended : failed(tableName);
}
