#include "vetrix/dbf/dbf_format.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace {

uint16_t le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

uint32_t DbfHeader::recordCount() const {
  const unsigned char* p = raw + kDbfRecordCountOffset;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void DbfHeader::setRecordCount(uint32_t count) {
  for (int i = 0; i < 4; ++i)
    raw[kDbfRecordCountOffset + i] = static_cast<unsigned char>(count >> (8 * i));
}

uint16_t DbfHeader::headerLength() const {
  return le16(raw + kDbfHeaderLengthOffset);
}
uint16_t DbfHeader::recordLength() const {
  return le16(raw + kDbfRecordLengthOffset);
}

size_t descriptorCount(const DbfHeader& header) {
  const size_t length = header.headerLength();
  if (length < kDbfHeaderSize + kDbfDescriptorSize) return 0;
  return (length - kDbfHeaderSize) / kDbfDescriptorSize;
}

std::vector<DbfFieldDescriptor> parseDescriptors(const DbfHeader& header, std::string_view bytes) {
  std::vector<DbfFieldDescriptor> fields;
  const size_t count = std::min(descriptorCount(header), bytes.size() / kDbfDescriptorSize);
  unsigned offset = 0;
  for (size_t i = 0; i < count; ++i) {
    const char* d = bytes.data() + i * kDbfDescriptorSize;
    DbfFieldDescriptor field;
    field.name.assign(d, strnlen(d, kDbfFieldNameSize));
    field.width = static_cast<unsigned char>(d[kDbfFieldWidthOffset]);
    field.offset = offset;
    offset += field.width;
    fields.push_back(std::move(field));
  }
  return fields;
}

bool keyMatches(std::string_view keyField, std::string_view key, const platform::LeadBytes& leads) {
  if (key.size() > keyField.size()) return false;
  std::string_view stored = keyField.substr(0, key.size());
  stored = stored.substr(0, std::min(stored.size(), stored.find('\0')));  // read as text
  return platform::compareIgnoringCase(stored, key, leads) == 0;
}

bool fieldNameIs(std::string_view name, std::string_view wanted) {
  return name.size() == wanted.size() && fieldNameStartsWith(name, wanted);
}

bool fieldNameStartsWith(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = name[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

uint64_t DbfTable::recordsPresent() const {
  const uint64_t start = header.headerLength();
  const uint64_t length = header.recordLength();
  if (length == 0 || fileLength < start) return 0;
  return (fileLength - start) / length;
}

bool readTable(platform::File& file, DbfTable* table) {
  const std::optional<uint64_t> length = file.size();
  if (!length || *length < kDbfHeaderSize) return false;
  table->fileLength = *length;
  if (!platform::readExactly(file, 0, table->header.raw, kDbfHeaderSize)) return false;
  const uint64_t wanted = descriptorCount(table->header) * kDbfDescriptorSize;
  const uint64_t available = std::min<uint64_t>(wanted, *length - kDbfHeaderSize);
  std::string descriptors(static_cast<size_t>(available), '\0');
  if (!platform::readExactly(file, kDbfHeaderSize, descriptors.data(), descriptors.size())) {
    return false;
  }
  table->fields = parseDescriptors(table->header, descriptors);
  return true;
}

ScanResult scanRecords(platform::File& file, const DbfTable& table, unsigned keyWidth,
                       std::string_view key, DbfRecord* found) {
  const uint64_t recordLength = table.header.recordLength();
  if (recordLength == 0 || key.size() > keyWidth || keyWidth + 1 > recordLength) {
    return ScanResult::kNotFound;
  }
  const uint64_t count = std::min<uint64_t>(table.header.recordCount(), table.recordsPresent());
  const uint64_t perBlock = std::max<uint64_t>(1, (1 << 16) / recordLength);
  const platform::LeadBytes leads;
  std::string block;
  for (uint64_t first = 0; first < count; first += perBlock) {
    const uint64_t n = std::min(perBlock, count - first);
    const uint64_t offset = table.header.headerLength() + first * recordLength;
    block.resize(static_cast<size_t>(n * recordLength));
    if (!platform::readExactly(file, offset, block.data(), block.size())) {
      return ScanResult::kReadFailed;
    }
    for (uint64_t i = 0; i < n; ++i) {
      const std::string_view record(block.data() + i * recordLength, recordLength);
      if (keyMatches(record.substr(1, keyWidth), key, leads)) {
        found->index = first + i;
        found->offset = offset + i * recordLength;
        found->bytes.assign(record);
        return ScanResult::kFound;
      }
    }
  }
  return ScanResult::kNotFound;
}
