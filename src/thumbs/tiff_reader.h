// Reading TIFF structures inside a segment (Exif, MPF, maker notes): bounds-checked numbers in
// the block's own byte order, 12-byte IFD entries and the value readers. Every read stays inside
// [Base, Base + Size); offsets read from the data are checked in 64 bits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "thumbs/thumb_types.h"

namespace vt {

// TIFF field types used here.
constexpr uint16_t kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffSByte = 6,
                   kTiffUndefined = 7, kTiffSShort = 8, kTiffSLong = 9, kTiffIfd = 13;

struct TTiffEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {0, 0, 0, 0};  // as stored; converted by the readers
};

class TTiffReader {
 public:
  TTiffReader(const uint8_t* base, int64_t size, bool bigEndian)
      : Base(base), Size(size < 0 ? 0 : size), BigEndian(bigEndian) {}

  // Whether count bytes lie inside the bounds at offset.
  bool Has(int64_t offset, int64_t count) const {
    return offset >= 0 && count >= 0 && offset <= Size && count <= Size - offset;
  }
  uint16_t U16(int64_t offset) const;  // caller checked Has(offset, 2)
  uint32_t U32(int64_t offset) const;  // caller checked Has(offset, 4)
  uint32_t ValueU32(const TTiffEntry& e) const;
  // Reads the 12-byte entry at offset (false when fewer than 12 bytes remain).
  bool Entry(int64_t offset, TTiffEntry& e) const;

  // Integer reader: count 1 only. BYTE/SBYTE: first byte unsigned; SHORT unsigned; SSHORT
  // sign-extended; LONG/IFD unsigned 32-bit; SLONG signed 32-bit. Other types fail.
  bool ReadInteger(const TTiffEntry& e, int64_t& value) const;
  // List reader: SHORT/SSHORT values (unsigned), inside the value field when count <= 2, else
  // at Base + offset.
  bool ReadList(const TTiffEntry& e, std::vector<uint32_t>& values) const;
  // String reader: ASCII/UNDEFINED bytes, cut at the first NUL, trimmed of characters <= space;
  // succeeds when something is left. One character per byte (codes 0..255).
  bool ReadString(const TTiffEntry& e, std::string& text) const;
  // Date reader: "YYYY?MM?DD?hh?mm?ss" (separators of any kind); an invalid time keeps the date.
  bool ReadDate(const TTiffEntry& e, TkelDateTime& value) const;

  const uint8_t* Base;
  int64_t Size;
  bool BigEndian;
};

// Parses the first 19 characters of text as an Exif date-time (see ReadDate).
bool ParseExifDate(const std::string& text, TkelDateTime& value);

}  // namespace vt
