// dBASE tables (.dbf) as Read_Dbf and Write_Dbf use them.
//
// Little-endian throughout: a 32-byte header (record count at 4, header
// length at 8, record length at 10), 32-byte field descriptors from offset 32
// (name in bytes 0-10, NUL padded; width at 16), a terminator, then the
// records from the header length on. A record is a deletion flag (' ' live,
// '*' deleted) followed by the fields, each exactly its width, text
// left-aligned and blank padded. An end-of-file mark 0x1A follows the last
// record. Field text is in the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/text.h"

constexpr size_t kDbfHeaderSize = 32;
constexpr size_t kDbfDescriptorSize = 32;
constexpr size_t kDbfFieldNameSize = 11;
constexpr size_t kDbfRecordCountOffset = 4;
constexpr size_t kDbfHeaderLengthOffset = 8;
constexpr size_t kDbfRecordLengthOffset = 10;
constexpr size_t kDbfFieldTypeOffset = 11;
constexpr size_t kDbfFieldWidthOffset = 16;
// Clipper and FoxPro keep the high byte of a character field's width here,
// where other fields keep their decimal count.
constexpr size_t kDbfFieldWidthHighOffset = 17;
constexpr char kDbfHeaderTerminator = 0x0D;
constexpr char kDbfEndOfFile = 0x1A;
constexpr char kDbfBlank = ' ';

struct DbfHeader {
  unsigned char raw[kDbfHeaderSize] = {};

  uint32_t recordCount() const;
  void setRecordCount(uint32_t count);
  uint16_t headerLength() const;
  uint16_t recordLength() const;
};

struct DbfFieldDescriptor {
  std::string name;     // up to the first NUL of the 11-byte name
  unsigned width = 0;   // up to 65535 for two-byte widths
  unsigned offset = 0;  // within the record's data (after the deletion flag)
};

// The field descriptors, read from `bytes` (which starts at offset 32): as
// many as the header length has room for, floor((H - 32) / 32) (none for a
// header length below 64), and no more than come before the 0x0D that ends
// them. Bytes after it are no fields: a Visual FoxPro database back-link, or
// padding.
//
// A character field's width is one byte; Clipper and FoxPro give wider
// fields a second, high byte. The two-byte widths are taken when they, and
// not the one-byte widths, add up to the record length; when a character
// field has a high byte and neither adds up, *unclear is set.
std::vector<DbfFieldDescriptor> parseDescriptors(const DbfHeader& header, std::string_view bytes,
                                                 bool* unclear);
// How many descriptors the header length has room for.
size_t descriptorCount(const DbfHeader& header);

// Decides whether a record's key field matches a key: the first key-length
// bytes of the field, read as text, equal the key ignoring the case of ASCII
// letters. A key longer than the field matches nothing; the empty key
// matches every record.
class KeyMatcher {
 public:
  explicit KeyMatcher(std::string_view key);
  // Whether the key field of `width` bytes at `field` matches. The field may
  // be read up to kReadAhead bytes past the key's length.
  bool matchesAt(const char* field, size_t width) const;
  static constexpr size_t kReadAhead = 8;

 private:
  std::string key_;
  // The key in 8-byte words, letters in lower case, with the bits that a
  // field byte's case may change and the bytes that count: a quick test
  // that every matching field passes.
  std::vector<uint64_t> words_, fold_, care_;
  platform::AnsiCharacters chars_;
};

// The layout of an open table: header, descriptors and the file's length.
struct DbfTable {
  DbfHeader header;
  std::vector<DbfFieldDescriptor> fields;
  uint64_t fileLength = 0;
  // The field widths do not add up to the record length either way (see
  // parseDescriptors): where the fields lie is not known.
  bool widthsUnclear = false;

  // How many whole records lie inside the file, whatever the header counts.
  uint64_t recordsPresent() const;
};

// Reads the header and the descriptors; kIoError for a file shorter than a
// header.
platform::Status readTable(platform::File& file, DbfTable* table);

// A record found by scanRecords.
struct DbfRecord {
  uint64_t index = 0;
  uint64_t offset = 0;  // of its deletion flag
  std::string bytes;    // the whole record
};

enum class ScanResult { kFound, kNotFound, kReadFailed };

// Visits the records in file order from the header length, as many as the
// header counts and no more than lie whole inside the file, reading in
// large blocks; the first whose key field (`keyWidth` bytes at the start of
// the record's data) matches `key` is returned in *found.
ScanResult scanRecords(platform::File& file, const DbfTable& table, unsigned keyWidth,
                       std::string_view key, DbfRecord* found, platform::Status* cause);
