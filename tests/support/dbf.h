// Building and reading dBASE tables in tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct TableSpec {
  // Character fields: name, width (widths past 255 as Clipper writes them,
  // the high byte in the decimal count).
  std::vector<std::pair<std::string, int>> fields;
  std::string types;  // the fields' type letters, when not all 'C'; values are raw bytes
  std::vector<std::vector<std::string>> records;  // values; a leading "*" value marks deleted
  int terminatorBytes = 1;                        // 1: 32+32n+1 header, 2: 32+32n+2
  std::string afterTerminator;  // header bytes after those (a FoxPro back-link, padding)
  unsigned char version = 3;
  size_t uncounted = 0;  // the last records, which the header does not count
  bool endOfFileMark = true;
  unsigned char tableFlags = 0;      // header byte 28
  unsigned char languageDriver = 0;  // header byte 29
};

// A table as dBASE writes it.
std::string makeTable(const TableSpec& spec);

struct TableView {
  uint32_t count = 0;
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
  std::vector<std::string> records;  // whole records, deletion flag first
};

// Reads a table strictly: the file must hold exactly the counted records and
// an end-of-file mark. Fails the test otherwise.
TableView readTableStrictly(const std::string& bytes);

// One field of a record by descriptor index (blank padding kept).
std::string field(const TableSpec& spec, const std::string& record, size_t index);

}  // namespace test
