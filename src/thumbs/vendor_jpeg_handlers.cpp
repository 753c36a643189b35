#include "thumbs/vendor_jpeg_handlers.h"

#include "thumbs/vendor_bytes.h"

namespace vt {

using namespace vendor;

namespace {

// Appends the segment's bytes from offset on (nothing when the segment is not longer).
void AppendFrom(TkelJpegThumbs& owner, const uint8_t* data, int32_t available, int32_t offset) {
  if (available > offset) owner.AppendData(offset, data + offset, available - offset);
}

// A single-segment picture: the JPEG stream at jpegAt, then a scan for any others.
void AddJpegBehindHeader(TkelJpegThumbHandler& h, const uint8_t* data, int32_t available, int32_t jpegAt) {
  h.AddJpegAt(data + jpegAt, jpegAt, available - jpegAt, 0, std::string());
  h.ScanForJpegs(data, available);
}

constexpr char kQti[] = "QTI Debug Metadata";           // 18 bytes
constexpr char kQualcomm[] = "Qualcomm Camera Debug";   // 21 bytes

}  // namespace

// APP2v1 ------------------------------------------------------------------------------------

bool TkelJpegThumbAPP2v1Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp2 && n > 4 && (HasSoi(data, n, 0) || HasSoi(data, n, 1));
}

bool TkelJpegThumbAPP2v1Handler::CanContinue(uint8_t marker, const uint8_t*, int32_t, int32_t) {
  return marker == kApp2;
}

void TkelJpegThumbAPP2v1Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 0);
}

// APP2v2 ------------------------------------------------------------------------------------

bool TkelJpegThumbAPP2v2Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp2 && n > 64 && HasSoi(data, n, 60);
}

bool TkelJpegThumbAPP2v2Handler::CanContinue(uint8_t marker, const uint8_t*, int32_t, int32_t) {
  return marker == kApp2;
}

void TkelJpegThumbAPP2v2Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 60);
}

// APP3 --------------------------------------------------------------------------------------

bool TkelJpegThumbAPP3Handler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp3 && n >= 4 && HasSoi(data, n, 0);
}

bool TkelJpegThumbAPP3Handler::CanContinue(uint8_t marker, const uint8_t*, int32_t, int32_t) {
  return int32_t(marker) == int32_t(kApp3) + SegmentCount;
}

void TkelJpegThumbAPP3Handler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 0);
  ++SegmentCount;
}

// FLIR --------------------------------------------------------------------------------------

bool TkelJpegThumbFLIRHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp1 && n > 8 && HasText(data, n, 0, "FLIR", 5);
}

void TkelJpegThumbFLIRHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 8);
}

void TkelJpegThumbFLIRHandler::Finish() {
  ScanForPngs(Owner.JoinedData(), Owner.JoinedLength());
  ScanForJpegs(Owner.JoinedData(), Owner.JoinedLength());
}

// PDBigTN, QVGA, BGTH -----------------------------------------------------------------------

bool TkelJpegThumbPDBigTNHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 22 && HasText(data, n, 0, "PDBigTN", 8) && HasSoi(data, n, 18);
}

void TkelJpegThumbPDBigTNHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddJpegBehindHeader(*this, data, n, 18);
}

bool TkelJpegThumbQVGAHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp2 && n > 9 && HasText(data, n, 0, "QVGA", 5) && HasSoi(data, n, 5);
}

void TkelJpegThumbQVGAHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddJpegBehindHeader(*this, data, n, 5);
}

bool TkelJpegThumbBGTHHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp2 && n > 8 && HasText(data, n, 0, "BGTH", 4) && HasSoi(data, n, 4);
}

void TkelJpegThumbBGTHHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AddJpegBehindHeader(*this, data, n, 4);
}

// SCALADO, QTI Debug Metadata, Qualcomm -----------------------------------------------------

bool TkelJpegThumbSCALADOHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 8 && HasText(data, n, 0, "SCALADO", 8);
}

void TkelJpegThumbSCALADOHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 8);
}

bool TkelJpegThumbQTIDebugMetadataHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 18 && HasText(data, n, 0, kQti, 19);
}

void TkelJpegThumbQTIDebugMetadataHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t,
                                                      int32_t n) {
  AppendFrom(Owner, data, n, 19);
}

bool TkelJpegThumbQualcommHandler::CanHandle(uint8_t marker, const uint8_t* data, int32_t, int32_t n) {
  return marker == kApp4 && n > 21 && HasText(data, n, 0, kQualcomm, 21);
}

bool TkelJpegThumbQualcommHandler::CanContinue(uint8_t marker, const uint8_t* data, int32_t declared,
                                               int32_t n) {
  return int32_t(marker) == int32_t(kApp4) + SegmentCount && CanHandle(kApp4, data, declared, n);
}

void TkelJpegThumbQualcommHandler::AddSegment(int64_t, uint8_t, const uint8_t* data, int32_t, int32_t n) {
  AppendFrom(Owner, data, n, 22);
  ++SegmentCount;
}

}  // namespace vt
