#include "frame/host_interface.h"
#include "platform/platform.h"
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

bool DbfLookup(std::u16string& tableName, std::string_view key, std::string* name,
               std::string* unit) {
  if (tableName.find(u".dbf") == std::u16string::npos) tableName += u".dbf";
  std::unique_ptr<platform::File> file =
      platform::Env::current()->openFile(tableName, platform::OpenMode::kRead);
  if (!file) {
    zcutPrintf(u"\nOpen DBF NAME Fail->[%s]", tableName.c_str());
    return false;
  }
  DbfTable table;
  if (!readTable(*file, &table)) return false;

  // A descriptor takes the first role it qualifies for; the last one that
  // qualifies for a role has it.
  unsigned keyWidth = 0;
  FieldSpan nameField, unitField;
  const unsigned dataLength = table.header.recordLength() > 0 ? table.header.recordLength() - 1 : 0;
  for (const DbfFieldDescriptor& field : table.fields) {
    if (field.offset + field.width > dataLength) continue;  // runs past the record
    if (fieldNameStartsWith(field.name, "NO1")) {
      keyWidth = field.width;
    } else if (fieldNameStartsWith(field.name, "PNAME")) {
      nameField = {field.offset, field.width};
    } else if (fieldNameIs(field.name, "UNIT")) {
      unitField = {field.offset, field.width};
    }
  }

  DbfRecord record;
  if (scanRecords(*file, table, keyWidth, key, &record) != ScanResult::kFound) return false;
  *name = fieldText(record.bytes, nameField);
  *unit = fieldText(record.bytes, unitField);
  return true;
}
