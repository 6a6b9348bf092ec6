#include "vetrix/dbf/dbf_format.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii.h"
#include "platform/coding.h"

namespace {

// Records are read in blocks of about this many bytes: small enough to stay
// in the processor's cache while they are compared.
constexpr uint64_t kScanBlock = 1 << 17;

}  // namespace

uint32_t DbfHeader::recordCount() const {
  return platform::decodeFixed32(raw + kDbfRecordCountOffset);
}

void DbfHeader::setRecordCount(uint32_t count) {
  platform::encodeFixed32(raw + kDbfRecordCountOffset, count);
}

uint16_t DbfHeader::headerLength() const {
  return platform::decodeFixed16(raw + kDbfHeaderLengthOffset);
}
uint16_t DbfHeader::recordLength() const {
  return platform::decodeFixed16(raw + kDbfRecordLengthOffset);
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
    field.width = static_cast<unsigned char>(d[kDbfFieldWidthOffset]);
    const unsigned high = static_cast<unsigned char>(d[kDbfFieldWidthHighOffset]);
    const bool character = d[kDbfFieldTypeOffset] == 'C';
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

KeyMatcher::KeyMatcher(std::string_view key) : key_(key) {
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
}

bool KeyMatcher::matchesAt(const char* field, size_t width) const {
  if (key_.size() > width) return false;
  // Most records differ from the key at a byte that folds differently: a
  // look at whole words, letters folded, rejects them before the
  // character-wise comparison.
  for (size_t w = 0; w < words_.size(); ++w) {
    const uint64_t bytes = platform::decodeFixed64(field + 8 * w);
    if (((bytes | fold_[w]) & care_[w]) != words_[w]) return false;
  }
  std::string_view stored(field, key_.size());
  stored = stored.substr(0, std::min(stored.size(), stored.find('\0')));  // read as text
  return platform::compareIgnoringCase(stored, key_, chars_) == 0;
}

uint64_t DbfTable::recordsPresent() const {
  const uint64_t start = header.headerLength();
  const uint64_t length = header.recordLength();
  if (length == 0 || fileLength < start) return 0;
  return (fileLength - start) / length;
}

platform::Status readTable(platform::File& file, DbfTable* table) {
  platform::Status s = file.size(&table->fileLength);
  if (!s.ok()) return s;
  s = platform::readExactly(file, 0, table->header.raw, kDbfHeaderSize);
  if (!s.ok()) return s;
  const uint64_t wanted = descriptorCount(table->header) * kDbfDescriptorSize;
  const uint64_t available = std::min<uint64_t>(wanted, table->fileLength - kDbfHeaderSize);
  std::string descriptors(static_cast<size_t>(available), '\0');
  s = platform::readExactly(file, kDbfHeaderSize, descriptors.data(), descriptors.size());
  if (!s.ok()) return s;
  table->fields = parseDescriptors(table->header, descriptors, &table->widthsUnclear);
  return platform::Status();
}

ScanResult scanRecords(platform::File& file, const DbfTable& table, unsigned keyWidth,
                       std::string_view key, DbfRecord* found, platform::Status* cause) {
  const uint64_t recordLength = table.header.recordLength();
  if (recordLength == 0 || key.size() > keyWidth || keyWidth + 1 > recordLength) {
    return ScanResult::kNotFound;
  }
  const KeyMatcher matcher(key);
  const uint64_t count = std::min<uint64_t>(table.header.recordCount(), table.recordsPresent());
  const uint64_t perBlock = std::max<uint64_t>(1, kScanBlock / recordLength);
  std::string block;
  for (uint64_t first = 0; first < count; first += perBlock) {
    const uint64_t n = std::min(perBlock, count - first);
    const uint64_t offset = table.header.headerLength() + first * recordLength;
    // Room behind the last record for the matcher's look ahead.
    block.resize(static_cast<size_t>(n * recordLength) + KeyMatcher::kReadAhead);
    *cause =
        platform::readExactly(file, offset, block.data(), block.size() - KeyMatcher::kReadAhead);
    if (!cause->ok()) return ScanResult::kReadFailed;
    for (uint64_t i = 0; i < n; ++i) {
      const std::string_view record(block.data() + i * recordLength, recordLength);
      if (matcher.matchesAt(record.data() + 1, keyWidth)) {
        found->index = first + i;
        found->offset = offset + i * recordLength;
        found->bytes.assign(record);
        return ScanResult::kFound;
      }
    }
  }
  return ScanResult::kNotFound;
}
