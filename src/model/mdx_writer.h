#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvenda {

// Writer of a dBase IV production index (.mdx): the file other dBase programs open next to a
// table. Our own engine never reads it back; it rebuilds its orderings from the rows.
//
// Layout written: 512-byte pages grouped in 1024-byte blocks (2 pages a block); a 2048-byte
// file header with the tag table at offset 544; per tag one header block followed by its
// B-tree. Leaf entries are (record number, key), interior entries (child page, key) with one
// more child page after the last key; an interior key is the last key of its child's subtree.
// Numeric keys are 12 bytes of packed BCD, character keys the field's bytes padded with spaces.
// Equal keys are kept in ascending record-number order, in descending tags too. Character keys
// are ordered by unsigned byte value. All numbers in the file are little-endian.

struct MdxKey {
  double number = 0;  // numeric tags
  std::string text;   // character tags: cut or padded with spaces to the key length
};

struct MdxTagInput {
  std::string name;       // tag name, at most 10 bytes; stored upper-case
  std::string fieldName;  // the key expression: the field's name as written in the .dbf
  bool numeric = true;    // N field: 12-byte BCD keys; C field: character keys
  int keyLength = 0;      // character keys: the field length, 1..100 (ignored for numeric)
  bool descending = false;
  // One entry per live record: its key and 1-based record number, in any order. A record
  // number may appear once only.
  std::vector<std::pair<MdxKey, uint32_t>> entries;
};

// The whole .mdx file as bytes. `dbfBaseName` is the table's file name without directory and
// extension; the date (full year, month 1-12, day) is stored as creation and update date.
// At most 47 tags. Throws orvenda::Error on input that cannot be stored.
std::string BuildMdx(const std::string& dbfBaseName, const std::vector<MdxTagInput>& tags, int year,
                     int month, int day);

// The 12-byte key of a numeric value: byte 0 is 52 plus the number of digits before the
// decimal point (less the zeros right after it for values below 1), byte 1 holds the sign in
// bit 7, the count of stored digits in bits 2-6 and 01 in bits 0-1, and bytes 2-11 the digits
// from the first significant one, two a byte, high nibble first. Zero is 34 01 and zeros.
std::string MdxNumericKey(double value);

}  // namespace orvenda
