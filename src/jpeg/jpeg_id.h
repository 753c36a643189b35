// TkelJpegID: a byte image of a JPEG's header segments and its first scan header, by which
// headers are compared (the source scanner matches orphaned scan data to headers with it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vt {

class TkelJpegID {
 public:
  // FF D8, then every recorded segment as FF, marker, length (payload + 2), payload.
  std::vector<uint8_t> Data;  // Data.size() is the capacity
  int32_t Length = 0;         // bytes of Data in use
  int32_t SofSizeOffset = 0;  // offset in Data of the SOF height field; 0 without SOF
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> ScanHeader;  // the first SOS segment: FF DA, length, payload
  // Two fields for the caller's use; never set by the parser, copied by Clone.
  std::string Text1;
  std::string Text2;

  // Appends a segment (APPn/COM and everything after the first SOS are ignored).
  void AddSegment(int marker, int32_t length, const uint8_t* payload);
  std::unique_ptr<TkelJpegID> Clone() const;
  bool SameAs(const TkelJpegID& other) const;
  bool SameScanHeader(const uint8_t* bytes, int32_t length) const;
  void SetWidth(int32_t value);
  void SetHeight(int32_t value);
};

}  // namespace vt
