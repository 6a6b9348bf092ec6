// dBASE tables (.dbf) as Read_Dbf and Write_Dbf use them.
//
// Little-endian throughout: a 32-byte header (record count at 4, header
// length at 8, record length at 10), 32-byte field descriptors from offset 32
// (name in bytes 0-10, NUL padded; width at 16), a terminator, then the
// records from the header length on. A record is a deletion flag (' ' live,
// '*' deleted) followed by the fields, each exactly its width, text
// left-aligned and blank padded. An end-of-file mark 0x1A follows the last
// record. Field text is in the code page the table's language-driver byte
// (header byte 29) names, else in the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/coding.h"
#include "platform/env.h"
#include "platform/text.h"

constexpr size_t kDbfHeaderSize = 32;
constexpr size_t kDbfDescriptorSize = 32;
constexpr size_t kDbfFieldNameSize = 11;
constexpr size_t kDbfVersionOffset = 0;
constexpr size_t kDbfRecordCountOffset = 4;
constexpr size_t kDbfHeaderLengthOffset = 8;
constexpr size_t kDbfRecordLengthOffset = 10;
// Bit 0: a production index (dBASE .mdx, FoxPro structural .cdx) is kept
// beside the table and must change with it.
constexpr size_t kDbfTableFlagsOffset = 28;
constexpr size_t kDbfLanguageDriverOffset = 29;
constexpr size_t kDbfFieldTypeOffset = 11;
constexpr size_t kDbfFieldWidthOffset = 16;
// Clipper and FoxPro keep the high byte of a character field's width here,
// where other fields keep their decimal count.
constexpr size_t kDbfFieldWidthHighOffset = 17;
constexpr char kDbfHeaderTerminator = 0x0D;
constexpr char kDbfEndOfFile = 0x1A;
constexpr char kDbfBlank = ' ';
constexpr char kDbfDeleted = '*';

struct DbfHeader {
  unsigned char raw[kDbfHeaderSize] = {};

  uint32_t recordCount() const;
  uint16_t headerLength() const;
  uint16_t recordLength() const;
  // dBASE level 7 (version 0x04, or 0x8C with a memo file): 48-byte field
  // descriptors after a 68-byte header, a layout of its own.
  bool isLevel7() const;
  bool hasProductionIndex() const;
};

struct DbfFieldDescriptor {
  std::string name;     // up to the first NUL of the 11-byte name
  char type = 'C';      // C character, N numeric, M memo, I integer, ...
  unsigned width = 0;   // up to 65535 for two-byte widths
  unsigned offset = 0;  // within the record's data (after the deletion flag)

  // The bytes of this field in a record that holds no value: blanks for the
  // text fields of every dBASE (C, N, F, L, D, and 10-byte memo
  // references), zero bytes for Visual FoxPro's binary fields (I, Y, T, B,
  // 4-byte memo references, Q, W, _NullFlags). False for a type we do not
  // know the empty value of.
  bool emptyValue(char* fill) const;
  // A number stored as text, right-aligned: its leading blanks are padding.
  bool isNumeric() const { return type == 'N' || type == 'F'; }
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

// The code page a table's language-driver byte names: 0 for none (the
// system's ANSI code page then holds), -1 for one no platform here converts.
int languageDriverCodePage(unsigned char languageDriver);

// Decides whether a record's key field holds a key: the field's text (up to
// a NUL), without its trailing blanks, equals the key ignoring the case of
// ASCII letters; a numeric field's leading blanks count for nothing either.
// Bytes of a multi-byte character are compared exactly.
class KeyMatcher {
 public:
  // `key` without the blanks that the field's padding would hide.
  KeyMatcher(std::string_view key, bool numeric, int codePage);
  // Whether the key field of `width` bytes at `field` holds the key. The
  // field may be read up to kReadAhead bytes past the key's length.
  bool matchesAt(const char* field, size_t width) const;
  static constexpr size_t kReadAhead = 8;
  // A quick test on the field's first eight bytes that every field holding
  // the key passes (and most others fail).
  bool mayMatchAt(const char* field) const {
    return ((platform::decodeFixed64(field) | fold0_) & care0_) == word0_;
  }

 private:
  std::string key_;
  bool numeric_;
  // The key in 8-byte words, letters in lower case, with the bits that a
  // field byte's case may change and the bytes that count: a quick test
  // that every matching field passes.
  std::vector<uint64_t> words_, fold_, care_;
  uint64_t word0_ = 0, fold0_ = 0, care0_ = 0;  // the first of them, or nothing to test
  platform::AnsiCharacters chars_;
};

// A key as stored text compares: without trailing blanks (and, for a
// numeric field, leading ones).
std::string_view trimKey(std::string_view key, bool numeric);

// The layout of an open table: header, descriptors and the file's length.
struct DbfTable {
  DbfHeader header;
  std::vector<DbfFieldDescriptor> fields;
  uint64_t fileLength = 0;
  // The field widths do not add up to the record length either way (see
  // parseDescriptors): where the fields lie is not known.
  bool widthsUnclear = false;
  // The descriptors end with their 0x0D inside the header length.
  bool terminated = false;
  // The code page of the table's text (see languageDriverCodePage), the
  // ANSI code page when the table names none; -1 when it names one that
  // cannot be converted.
  int codePage = 0;

  // How many whole records lie inside the file, whatever the header counts.
  uint64_t recordsPresent() const;
};

// Refusals that both engines share.
enum class TableFault {
  kNone,
  kWidthsUnclear,         // the field widths do not add up to the record length
  kLevel7,                // a dBASE level 7 table, a layout not read here
  kCodePageNotSupported,  // the table names a code page this platform cannot convert
};
TableFault tableFault(const DbfTable& table);

// Reads the header and the descriptors; kCorrupt for a file shorter than a
// header, any other failure for a read that failed.
platform::Status readTable(platform::File& file, DbfTable* table);

// A record found by scanRecords.
struct DbfRecord {
  uint64_t index = 0;
  uint64_t offset = 0;  // of its deletion flag
  std::string bytes;    // the whole record
};

struct [[nodiscard]] DbfScan {
  enum class Kind { kFound, kNotFound, kReadFailed };
  Kind kind = Kind::kNotFound;
  DbfRecord found;
  // The records end here: the count the header gives, no more than lie
  // whole inside the file, or the first whose deletion flag is the end
  // mark (an append stopped before its last step, see storeDbfRecord).
  uint64_t end = 0;
  platform::Status cause;
};

// Visits the live records (deleted ones are skipped) in file order from
// the header length, reading in large blocks; the first whose key field
// holds the key is returned. An empty key matches nothing.
DbfScan scanRecords(platform::File& file, const DbfTable& table, const DbfFieldDescriptor& keyField,
                    std::string_view key);
