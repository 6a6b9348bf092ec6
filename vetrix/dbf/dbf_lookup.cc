#include "platform/ascii.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/dbf/dbf_format.h"

namespace {

struct FieldSpan {
  unsigned offset = 0;
  unsigned width = 0;
};

// The whole field as text: up to its first NUL.
std::string fieldText(const std::string& record, const FieldSpan& field) {
  std::string text = record.substr(1 + field.offset, field.width);
  return text.substr(0, text.find('\0'));
}

}  // namespace

LookupResult DbfLookup(platform::Env& env, std::u16string tableName, std::string_view key) {
  LookupResult result;
  if (tableName.find(u".dbf") == std::u16string::npos) tableName += u".dbf";
  result.tableName = tableName;
  std::unique_ptr<platform::File> file;
  result.cause = env.openFile(tableName, platform::OpenMode::kRead, &file);
  if (!result.cause.ok()) {
    result.kind = LookupResult::Kind::kNotOpened;
    return result;
  }
  DbfTable table;
  result.cause = readTable(*file, &table);
  if (!result.cause.ok()) return result;
  if (table.widthsUnclear) {
    result.kind = LookupResult::Kind::kWidthsUnclear;
    return result;
  }

  // A descriptor takes the first role it qualifies for; the last one that
  // qualifies for a role has it.
  unsigned keyWidth = 0;
  FieldSpan nameField, unitField;
  const unsigned dataLength = table.header.recordLength() > 0 ? table.header.recordLength() - 1 : 0;
  for (const DbfFieldDescriptor& field : table.fields) {
    if (field.offset + field.width > dataLength) continue;  // runs past the record
    if (platform::startsWithIgnoringAsciiCase(field.name, "NO1")) {
      keyWidth = field.width;
    } else if (platform::startsWithIgnoringAsciiCase(field.name, "PNAME")) {
      nameField = {field.offset, field.width};
    } else if (platform::equalsIgnoringAsciiCase(field.name, "UNIT")) {
      unitField = {field.offset, field.width};
    }
  }

  DbfRecord record;
  if (scanRecords(*file, table, keyWidth, key, &record, &result.cause) != ScanResult::kFound) {
    return result;
  }
  result.kind = LookupResult::Kind::kFound;
  result.name = fieldText(record.bytes, nameField);
  result.unit = fieldText(record.bytes, unitField);
  return result;
}
