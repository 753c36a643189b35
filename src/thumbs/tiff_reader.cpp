#include "thumbs/tiff_reader.h"

#include <cstring>

namespace vt {

uint16_t TTiffReader::U16(int64_t offset) const {
  const uint8_t* p = Base + offset;
  return BigEndian ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
}

uint32_t TTiffReader::U32(int64_t offset) const {
  const uint8_t* p = Base + offset;
  return BigEndian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                   : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

uint32_t TTiffReader::ValueU32(const TTiffEntry& e) const {
  const uint8_t* p = e.Value;
  return BigEndian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                   : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

bool TTiffReader::Entry(int64_t offset, TTiffEntry& e) const {
  if (!Has(offset, 12)) return false;
  e.Tag = U16(offset);
  e.Type = U16(offset + 2);
  e.Count = U32(offset + 4);
  std::memcpy(e.Value, Base + offset + 8, 4);
  return true;
}

namespace {

uint16_t ValueU16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
}

}  // namespace

bool TTiffReader::ReadInteger(const TTiffEntry& e, int64_t& value) const {
  if (e.Count != 1) return false;
  switch (e.Type) {
    case kTiffByte:
    case kTiffSByte:
      value = e.Value[0];
      return true;
    case kTiffShort:
      value = ValueU16(e.Value, BigEndian);
      return true;
    case kTiffSShort:
      // Sign-extended whatever the byte order, so that both byte orders give the same value.
      value = int16_t(ValueU16(e.Value, BigEndian));
      return true;
    case kTiffLong:
    case kTiffIfd:
      value = ValueU32(e);
      return true;
    case kTiffSLong:
      value = int32_t(ValueU32(e));
      return true;
    default:
      return false;
  }
}

bool TTiffReader::ReadList(const TTiffEntry& e, std::vector<uint32_t>& values) const {
  if (e.Type != kTiffShort && e.Type != kTiffSShort) return false;
  values.clear();
  if (e.Count <= 2) {
    for (uint32_t i = 0; i < e.Count; ++i) values.push_back(ValueU16(e.Value + 2 * i, BigEndian));
    return true;
  }
  const int64_t at = ValueU32(e);
  if (!Has(at, int64_t(e.Count) * 2)) return false;
  values.reserve(e.Count);
  for (uint32_t i = 0; i < e.Count; ++i) values.push_back(U16(at + 2 * int64_t(i)));
  return true;
}

bool TTiffReader::ReadString(const TTiffEntry& e, std::string& text) const {
  if (e.Type != kTiffAscii && e.Type != kTiffUndefined) return false;
  const uint8_t* p;
  if (e.Count <= 4) {
    p = e.Value;
  } else {
    const int64_t at = ValueU32(e);
    if (!Has(at, e.Count)) return false;
    p = Base + at;
  }
  size_t n = 0;
  while (n < e.Count && p[n] != 0) ++n;
  size_t first = 0;
  while (first < n && p[first] <= ' ') ++first;
  while (n > first && p[n - 1] <= ' ') --n;
  if (n == first) return false;
  text.assign(reinterpret_cast<const char*>(p + first), n - first);
  return true;
}

namespace {

bool Digits(const std::string& s, size_t at, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[at + i]);
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

bool ParseExifDate(const std::string& text, TkelDateTime& value) {
  if (text.size() < 19) return false;
  int y, mo, d, h, mi, s;
  if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) ||
      !Digits(text, 11, 2, h) || !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, s))
    return false;
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return false;
  value = TkelDateTime{y, mo, d, 0, 0, 0};
  if (h < 24 && mi < 60 && s < 60) {
    value.Hour = h;
    value.Minute = mi;
    value.Second = s;
  }
  return true;
}

bool TTiffReader::ReadDate(const TTiffEntry& e, TkelDateTime& value) const {
  std::string text;
  return ReadString(e, text) && ParseExifDate(text, value);
}

}  // namespace vt
