#include "vetrix/dbf/dbf_format.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii.h"
#include "platform/coding.h"

namespace {

// Records are read in blocks of about this many bytes: small enough to stay
// in the processor's cache while they are compared.
constexpr uint64_t kScanBlock = 1 << 18;

}  // namespace

uint32_t DbfHeader::recordCount() const {
  return platform::decodeFixed32(raw + kDbfRecordCountOffset);
}

uint16_t DbfHeader::headerLength() const {
  return platform::decodeFixed16(raw + kDbfHeaderLengthOffset);
}
uint16_t DbfHeader::recordLength() const {
  return platform::decodeFixed16(raw + kDbfRecordLengthOffset);
}

bool DbfHeader::isLevel7() const {
  return raw[kDbfVersionOffset] == 0x04 || raw[kDbfVersionOffset] == 0x8C;
}

bool DbfHeader::hasProductionIndex() const {
  return (raw[kDbfTableFlagsOffset] & 0x01) != 0;
}

bool DbfFieldDescriptor::emptyValue(char* fill) const {
  switch (type) {
    case 'C':
    case 'N':
    case 'F':
    case 'L':
    case 'D':
    case 'V':  // a Visual FoxPro varchar at its full width
      *fill = kDbfBlank;
      return true;
    case 'M':
    case 'G':
    case 'B':
    case 'P':
      // dBASE keeps memo block numbers as 10 digits of text; Visual FoxPro
      // as 4-byte integers (and B is its 8-byte double).
      *fill = width == 10 ? kDbfBlank : '\0';
      return true;
    case 'I':
    case 'Y':
    case 'T':
    case 'Q':
    case 'W':
    case '0':  // _NullFlags: every field holds a value
    case '@':
    case '+':
    case 'O':
      *fill = '\0';
      return true;
    default:
      return false;
  }
}

size_t descriptorCount(const DbfHeader& header) {
  const size_t length = header.headerLength();
  if (length < kDbfHeaderSize + kDbfDescriptorSize) return 0;
  return (length - kDbfHeaderSize) / kDbfDescriptorSize;
}

std::vector<DbfFieldDescriptor> parseDescriptors(const DbfHeader& header, std::string_view bytes,
                                                 bool* unclear) {
  std::vector<DbfFieldDescriptor> fields;
  const size_t count = std::min(descriptorCount(header), bytes.size() / kDbfDescriptorSize);
  uint64_t narrowSum = 0, wideSum = 0;
  bool anyHighByte = false;
  std::vector<unsigned> wide;
  for (size_t i = 0; i < count; ++i) {
    const char* d = bytes.data() + i * kDbfDescriptorSize;
    if (d[0] == kDbfHeaderTerminator) break;
    DbfFieldDescriptor field;
    field.name.assign(d, strnlen(d, kDbfFieldNameSize));
    field.type = d[kDbfFieldTypeOffset];
    field.width = static_cast<unsigned char>(d[kDbfFieldWidthOffset]);
    const unsigned high = static_cast<unsigned char>(d[kDbfFieldWidthHighOffset]);
    const bool character = field.type == 'C';
    wide.push_back(field.width + (character ? high << 8 : 0));
    anyHighByte = anyHighByte || (character && high != 0);
    narrowSum += field.width;
    wideSum += wide.back();
    fields.push_back(std::move(field));
  }
  const uint64_t dataLength = header.recordLength() > 0 ? header.recordLength() - 1u : 0;
  const bool useWide = anyHighByte && narrowSum != dataLength && wideSum == dataLength;
  *unclear = anyHighByte && narrowSum != dataLength && wideSum != dataLength;
  unsigned offset = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (useWide) fields[i].width = wide[i];
    fields[i].offset = offset;
    offset += fields[i].width;
  }
  return fields;
}

int languageDriverCodePage(unsigned char languageDriver) {
  // The language drivers of dBASE, FoxPro and Visual FoxPro, with the code
  // pages that dBASE readers (dbfread, GDAL) decode them in.
  struct Driver {
    unsigned char id;
    int codePage;
  };
  static constexpr Driver kDrivers[] = {
      {0x01, 437},   {0x02, 850},   {0x03, 1252}, {0x04, 10000}, {0x08, 865},  {0x09, 437},
      {0x0A, 850},   {0x0B, 437},   {0x0D, 437},  {0x0E, 850},   {0x0F, 437},  {0x10, 850},
      {0x11, 437},   {0x12, 850},   {0x13, 932},  {0x14, 850},   {0x15, 437},  {0x16, 850},
      {0x17, 865},   {0x18, 437},   {0x19, 437},  {0x1A, 850},   {0x1B, 437},  {0x1C, 863},
      {0x1D, 850},   {0x1F, 852},   {0x22, 852},  {0x23, 852},   {0x24, 860},  {0x25, 850},
      {0x26, 866},   {0x37, 850},   {0x40, 852},  {0x4D, 936},   {0x4E, 949},  {0x4F, 950},
      {0x50, 874},   {0x58, 1252},  {0x59, 1252}, {0x64, 852},   {0x65, 866},  {0x66, 865},
      {0x67, 861},   {0x68, -1},    {0x69, -1},   {0x6A, 737},   {0x6B, 857},  {0x78, 950},
      {0x79, 949},   {0x7A, 936},   {0x7B, 932},  {0x7C, 874},   {0x7D, 1255}, {0x7E, 1256},
      {0x96, 10007}, {0x97, 10029}, {0x98, -1},   {0xC8, 1250},  {0xC9, 1251}, {0xCA, 1254},
      {0xCB, 1253},  {0xCC, 1257},
  };
  for (const Driver& driver : kDrivers) {
    if (driver.id == languageDriver) return driver.codePage;
  }
  return 0;  // 0x00, 0x57 (ANSI) and the bytes that name no driver
}

std::string_view trimKey(std::string_view key, bool numeric) {
  const size_t last = key.find_last_not_of(kDbfBlank);
  key = key.substr(0, last == std::string_view::npos ? 0 : last + 1);
  if (numeric) key.remove_prefix(std::min(key.size(), key.find_first_not_of(kDbfBlank)));
  return key;
}

KeyMatcher::KeyMatcher(std::string_view key, bool numeric, int codePage)
    : key_(key), numeric_(numeric), chars_(codePage) {
  const size_t words = (key_.size() + 7) / 8;
  words_.assign(words, 0);
  fold_.assign(words, 0);
  care_.assign(words, 0);
  for (size_t i = 0; i < key_.size(); ++i) {
    const auto c = static_cast<unsigned char>(key_[i]);
    const bool letter = platform::asciiLower(c) != platform::asciiUpper(c);
    const int shift = static_cast<int>(8 * (i % 8));
    words_[i / 8] |= uint64_t{platform::asciiLower(c)} << shift;
    fold_[i / 8] |= uint64_t{letter ? 0x20u : 0u} << shift;
    care_[i / 8] |= uint64_t{0xFF} << shift;
  }
  if (!numeric_ && words > 0) {
    word0_ = words_[0];
    fold0_ = fold_[0];
    care0_ = care_[0];
  }
}

bool KeyMatcher::matchesAt(const char* field, size_t width) const {
  if (key_.empty() || key_.size() > width) return false;
  if (!numeric_) {
    // Most records differ from the key at a byte that folds differently: a
    // look at whole words, letters folded, rejects them before the
    // character-wise comparison.
    for (size_t w = 0; w < words_.size(); ++w) {
      const uint64_t bytes = platform::decodeFixed64(field + 8 * w);
      if (((bytes | fold_[w]) & care_[w]) != words_[w]) return false;
    }
  }
  std::string_view stored(field, width);
  stored = stored.substr(0, std::min(stored.size(), stored.find('\0')));  // read as text
  return platform::compareIgnoringCase(trimKey(stored, numeric_), key_, chars_) == 0;
}

uint64_t DbfTable::recordsPresent() const {
  const uint64_t start = header.headerLength();
  const uint64_t length = header.recordLength();
  if (length == 0 || fileLength < start) return 0;
  return (fileLength - start) / length;
}

TableFault tableFault(const DbfTable& table) {
  if (table.header.isLevel7()) return TableFault::kLevel7;
  if (table.codePage < 0) return TableFault::kCodePageNotSupported;
  if (table.widthsUnclear) return TableFault::kWidthsUnclear;
  return TableFault::kNone;
}

platform::Status readTable(platform::File& file, DbfTable* table) {
  platform::Status s = file.size(&table->fileLength);
  if (!s.ok()) return s;
  if (table->fileLength < kDbfHeaderSize) {
    return platform::Status::error(platform::ErrorKind::kCorrupt, 0, "find a dBASE header in",
                                   file.path());
  }
  s = platform::readExactly(file, 0, table->header.raw, kDbfHeaderSize);
  if (!s.ok()) return s;
  // The descriptors and the byte after them, where their terminator
  // belongs.
  const uint64_t wanted = descriptorCount(table->header) * kDbfDescriptorSize + 1;
  const uint64_t available = std::min<uint64_t>(wanted, table->fileLength - kDbfHeaderSize);
  std::string descriptors(static_cast<size_t>(available), '\0');
  s = platform::readExactly(file, kDbfHeaderSize, descriptors.data(), descriptors.size());
  if (!s.ok()) return s;
  table->fields = parseDescriptors(table->header, descriptors, &table->widthsUnclear);
  const uint64_t terminator = kDbfHeaderSize + table->fields.size() * kDbfDescriptorSize;
  table->terminated = terminator < table->header.headerLength() &&
                      terminator - kDbfHeaderSize < descriptors.size() &&
                      descriptors[terminator - kDbfHeaderSize] == kDbfHeaderTerminator;
  const int named = languageDriverCodePage(table->header.raw[kDbfLanguageDriverOffset]);
  table->codePage = named == 0                                        ? platform::ansiCodePage()
                    : named > 0 && platform::codePageAvailable(named) ? named
                                                                      : -1;
  return platform::Status();
}

DbfScan scanRecords(platform::File& file, const DbfTable& table, const DbfFieldDescriptor& keyField,
                    std::string_view key) {
  DbfScan scan;
  const uint64_t recordLength = table.header.recordLength();
  const uint64_t count = std::min<uint64_t>(table.header.recordCount(), table.recordsPresent());
  scan.end = count;
  const bool numeric = keyField.isNumeric();
  const bool searchable =
      !key.empty() && keyField.offset + keyField.width + 1 <= recordLength && recordLength > 0;
  const KeyMatcher matcher(key, numeric, table.codePage);
  const uint64_t perBlock = std::max<uint64_t>(1, kScanBlock / std::max<uint64_t>(1, recordLength));
  std::string block;
  for (uint64_t first = 0; first < count; first += perBlock) {
    const uint64_t n = std::min(perBlock, count - first);
    const uint64_t offset = table.header.headerLength() + first * recordLength;
    // Room behind the last record for the matcher's look ahead.
    block.resize(static_cast<size_t>(n * recordLength) + KeyMatcher::kReadAhead);
    scan.cause =
        platform::readExactly(file, offset, block.data(), block.size() - KeyMatcher::kReadAhead);
    if (!scan.cause.ok()) {
      scan.kind = DbfScan::Kind::kReadFailed;
      return scan;
    }
    for (uint64_t i = 0; i < n; ++i) {
      const char* record = block.data() + i * recordLength;
      if (searchable && !matcher.mayMatchAt(record + 1 + keyField.offset) &&
          record[0] != kDbfEndOfFile) {
        continue;
      }
      if (record[0] == kDbfEndOfFile) {
        scan.end = first + i;
        return scan;
      }
      if (!searchable || record[0] == kDbfDeleted) continue;
      if (matcher.matchesAt(record + 1 + keyField.offset, keyField.width)) {
        scan.kind = DbfScan::Kind::kFound;
        scan.found.index = first + i;
        scan.found.offset = offset + i * recordLength;
        scan.found.bytes.assign(record, recordLength);
        return scan;
      }
    }
  }
  return scan;
}
