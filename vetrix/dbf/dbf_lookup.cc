#include "platform/ascii.h"
#include "platform/text.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/dbf/dbf_format.h"

namespace {

// The whole field as text: up to its first NUL. A field that was never
// found is empty.
std::u16string fieldText(const std::string& record, const DbfFieldDescriptor* field, int codePage) {
  if (!field) return std::u16string();
  std::string text = record.substr(1 + field->offset, field->width);
  return platform::fromCodePage(codePage, text.substr(0, text.find('\0')));
}

// The fields a lookup reads. The key field is the last whose name begins
// with NO1, else the first field, as Write_Dbf keys a table: a record
// written is found again. Of the other fields, the last whose name begins
// with PNAME is the name, the last named UNIT the unit. A field past the
// record has no role.
struct LookupRoles {
  const DbfFieldDescriptor* key = nullptr;
  const DbfFieldDescriptor* name = nullptr;
  const DbfFieldDescriptor* unit = nullptr;
};

LookupRoles lookupRoles(const DbfTable& table) {
  const unsigned dataLength = table.header.recordLength() > 0 ? table.header.recordLength() - 1 : 0;
  auto fits = [&](const DbfFieldDescriptor& field) {
    return field.offset + field.width <= dataLength;
  };
  LookupRoles roles;
  for (const DbfFieldDescriptor& field : table.fields) {
    if (fits(field) && platform::startsWithIgnoringAsciiCase(field.name, "NO1")) roles.key = &field;
  }
  if (!roles.key && !table.fields.empty() && fits(table.fields.front())) {
    roles.key = &table.fields.front();
  }
  for (const DbfFieldDescriptor& field : table.fields) {
    if (!fits(field) || &field == roles.key) continue;
    if (platform::startsWithIgnoringAsciiCase(field.name, "PNAME")) {
      roles.name = &field;
    } else if (platform::equalsIgnoringAsciiCase(field.name, "UNIT")) {
      roles.unit = &field;
    }
  }
  return roles;
}

}  // namespace

LookupResult findDbfRecord(platform::Env& env, std::u16string tableName, std::u16string_view key) {
  LookupResult result;
  if (tableName.find(u".dbf") == std::u16string::npos) tableName += u".dbf";
  result.tableName = tableName;
  result.key = platform::fromAnsi(platform::toAnsi(key));
  std::unique_ptr<platform::File> file;
  result.cause = env.openFile(tableName, platform::OpenMode::kRead, &file);
  if (!result.cause.ok()) {
    result.kind = LookupResult::Kind::kNotOpened;
    return result;
  }
  DbfTable table;
  result.cause = readTable(*file, &table);
  if (!result.cause.ok()) {
    // Shorter than a header: no table. Any other failure is a failed read.
    if (result.cause.kind() != platform::ErrorKind::kCorrupt) {
      result.kind = LookupResult::Kind::kReadFailed;
    }
    return result;
  }
  result.fault = tableFault(table);
  if (result.fault != TableFault::kNone) {
    result.kind = LookupResult::Kind::kRefused;
    return result;
  }
  // The caller's key as this table holds it; one it cannot hold exactly is
  // in no record.
  std::string stored;
  const bool exact = platform::toCodePageExact(table.codePage, key, &stored);
  if (!exact) stored = platform::toCodePage(table.codePage, key);
  result.key = platform::fromCodePage(table.codePage, stored);

  const LookupRoles roles = lookupRoles(table);
  if (!roles.key || !exact) return result;

  DbfScan scan = scanRecords(*file, table, *roles.key, trimKey(stored, roles.key->isNumeric()));
  if (scan.kind == DbfScan::Kind::kReadFailed) result.kind = LookupResult::Kind::kReadFailed;
  if (scan.kind != DbfScan::Kind::kFound) {
    result.cause = scan.cause;
    return result;
  }
  result.kind = LookupResult::Kind::kFound;
  result.name = fieldText(scan.found.bytes, roles.name, table.codePage);
  result.unit = fieldText(scan.found.bytes, roles.unit, table.codePage);
  return result;
}
