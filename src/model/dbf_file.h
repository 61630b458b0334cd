#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvenda::dbf {

// Byte-level codec of dBase tables (.dbf) and their memo files (.dbt). Reads dBase III, IV
// and level 7 tables; writes dBase IV. Every size, offset and count read from a file is
// checked against the file; damage is reported as orvenda::Error naming the file.

inline constexpr uint8_t kVersionNoMemo = 0x03;
inline constexpr uint8_t kVersionDbase4Memo = 0x8B;
inline constexpr uint8_t kVersionDbase3Memo = 0x83;
inline constexpr uint8_t kLanguageDriverCp1250 = 0xC8;
inline constexpr uint32_t kMemoBlockSize = 512;
inline constexpr int kIntegerWidth = 11;  // N(11,0) holds every 32-bit value with its sign
inline constexpr int kMaxFieldName = 10;
inline constexpr int kMaxStringSize = 254;

struct Field {
  std::string name;  // as stored
  char type = 'C';
  uint32_t offset = 0;  // in the record; byte 0 is the deletion flag
  uint32_t length = 0;
  uint8_t decimals = 0;
  bool indexed = false;  // has a tag in the production index
};

struct Layout {
  uint8_t version = kVersionNoMemo;
  bool level7 = false;
  uint32_t recordCount = 0;
  uint32_t headerLength = 0;
  uint32_t recordLength = 0;
  bool productionIndex = false;
  uint8_t languageDriver = 0;
  std::vector<Field> fields;

  bool HasMemo() const;
  // Memo blocks of this table are written the dBase III way (text ended by 1A 1A).
  bool Dbase3Memo() const { return version == kVersionDbase3Memo; }
};

// How a field's value is held in memory.
enum class Kind {
  Integer,  // N, F, I, +, O: a number (text keeps what is stored for N and F)
  Text,     // C, L, D: text without trailing blanks
  Memo,     // M, B, G: text in the memo file; the cell's number is the block
  Raw,      // anything else: the stored bytes unchanged
};
Kind KindOf(const Field& field);

struct Cell {
  std::string text;
  int32_t num = 0;
  bool null = true;
};

// Parses the header and field descriptors of a table file; `bytes` is the whole file.
Layout ParseHeader(std::string_view bytes, const std::string& fileName);

// A dBase IV header for a new table (record count 0, today's date).
std::string BuildHeader(const Layout& layout);

// Fields laid out one after another, record length and header length filled in.
void LayOut(Layout& layout);

// Writes the date of today and the record count into a header (bytes 1..7).
void StampHeader(char* header, uint32_t recordCount);

// Decodes one field of a record. A memo field yields its block number in `num` (text empty);
// a memo pointer that is not a number fails.
void DecodeCell(const Field& field, const char* record, Cell& cell, const std::string& fileName);

// Encodes one field into a record buffer; fails when a number does not fit the field.
void EncodeCell(const Field& field, const Cell& cell, char* record);

// Whole-number value of a text the way a numeric field reads it: blanks around, an optional
// sign, digits, an optional fraction (cut off); false when the text is no number.
bool ParseNumber(std::string_view text, int32_t& value);

// --- Memo files ---------------------------------------------------------------------------

struct MemoHeader {
  uint32_t blockSize = kMemoBlockSize;
};
MemoHeader ParseMemoHeader(std::string_view bytes, bool dbase3, const std::string& fileName);

// The first block of a new memo file whose next free block is `nextBlock`.
std::string BuildMemoHeader(uint32_t nextBlock, uint32_t blockSize, bool dbase3,
                            const std::string& tableBaseName);

// The text stored at `block`, within `bytes`; dBase IV blocks carry their length, dBase III
// text ends at 1A.
std::string_view MemoSpan(std::string_view bytes, uint32_t blockSize, uint32_t block,
                          const std::string& fileName);

// The blocks that store `text`, padded to whole blocks.
std::string EncodeMemo(std::string_view text, uint32_t blockSize, bool dbase3);

// The date of today as year, month, day.
void Today(int& year, int& month, int& day);

}  // namespace orvenda::dbf
