// The parser's main loop: markers checked against the allowed set, segments read and
// reported through the events, APP blocks and raw segments recorded, scans handed to the
// entropy decoder.
#include "jpeg/parser.h"

#include <algorithm>
#include <cstring>

#include "jpeg/ahead_decode.h"
#include "jpeg/markers.h"
#include "jpeg/parse_log.h"


namespace vt {

namespace {

constexpr int32_t kSegmentBufferSize = 65535;
constexpr int32_t kAppBlockInitial = 655370;
constexpr size_t kRawRecordInitial = 65536;

}  // namespace

TkelBaseJpegParser::TkelBaseJpegParser(int32_t bufferSize, bool overridesAppBlock)
    : OverridesAppBlock(overridesAppBlock), bufferSize_(bufferSize < 0 ? 0 : bufferSize) {}

TkelBaseJpegParser::~TkelBaseJpegParser() = default;

void TkelBaseJpegParser::DoSkippedByte(int) {}
void TkelBaseJpegParser::DoSegment(int, int32_t, const uint8_t*, int32_t) {}
void TkelBaseJpegParser::DoAppSegment(int, int32_t, const uint8_t*, int32_t) {}
void TkelBaseJpegParser::DoAppBlock(int64_t, const uint8_t*, int32_t) {}
bool TkelBaseJpegParser::KeepCoefficients() { return Process == mkSOF2; }

void TkelBaseJpegParser::ScanRowsDone(int32_t) {}
void TkelBaseJpegParser::SplitDecodeRunning(const std::atomic<bool>*) {}
bool TkelBaseJpegParser::WorkWhileWaiting() { return false; }

void TkelBaseJpegParser::FreeMaps() {
  for (auto& m : MCUs) m.reset();
  Offsets.reset();
}

void TkelBaseJpegParser::Reset() {
  DropReadBuffer();
  bufferStreamPos_ = 0;
  ScanDataOffset = 0;
  segmentIsApp_ = false;
  segmentLength_ = 0;
  ForcedColorModel = 0;
  for (auto& q : QuantTables) q.Defined = 0;
  for (auto& t : DcTables) t.Defined = t.Built = 0;
  for (auto& t : AcTables) t.Defined = t.Built = 0;
  FrameSeen = false;
  HeightFromDNL = false;
  ScanCount = 0;
  ComponentIds.clear();
  RestartInterval = 0;
  MCUsSinceRestart = 0;
  NextRestartMarker = mkRST0;
  MCUCounter = 0;
  appBlockLength_ = 0;
  appBlockOffset_ = 0;
  HasJFIF = HasAdobe = HasG3Fax = HasICCProfile = false;
  AdobeTransform = 0;
  DataErrors = false;
  FreeMaps();
  RawSegments.Length = 0;
  Process = 0;
  Precision = 0;
  Width = Height = ComponentCount = 0;
  std::memset(static_cast<void*>(FrameComponents), 0, sizeof(FrameComponents));
  MaxH = MaxV = 0;
  ScanComponentCount = 0;
  std::memset(static_cast<void*>(ScanComponents), 0, sizeof(ScanComponents));
  Ss = Se = Ah = Al = 0;
  MCUWidth = MCUHeight = MCUsPerRow = MCURows = 0;
  KeepsCoefficients = false;
  EobRun = 0;
  CleanMCUs = 0;
  RestartsMet = RestartsInSync = 0;
  BytesBeforeRestarts = 0;
  acc_ = 0;
  accBits_ = 0;
  stuffedMask_ = 0;
  pendingCode_ = -1;
  pendingBytes_ = 0;
  ID.reset();
}

int TkelBaseJpegParser::LoadFromStream(TStream& stream, uint16_t flags, int colorModel) {
  stream_ = &stream;
  DropReadBuffer();
  StreamOrigin = stream.GetPosition();
  streamPos_ = StreamOrigin;
  Position = 0;
  const int result = Parse(flags, colorModel);
  NoteParse(*this, flags);
  return result;
}

void TkelBaseJpegParser::AllowMarker(int marker, bool allowed) {
  if (allowed)
    AllowedMarkers[marker >> 3] |= static_cast<uint8_t>(1u << (marker & 7));
  else
    AllowedMarkers[marker >> 3] &= static_cast<uint8_t>(~(1u << (marker & 7)));
}

void TkelBaseJpegParser::FlushAppBlock() {
  if (appBlockLength_ <= 0) return;
  const int32_t n = appBlockLength_;
  appBlockLength_ = 0;
  BeforeEvent();
  DoAppBlock(appBlockOffset_, appBlock_.get(), n);
}

void TkelBaseJpegParser::AddToAppBlock(int64_t offset, int marker, int32_t declaredLength,
                                       const uint8_t* bytes, int32_t count) {
  if (!OverridesAppBlock) return;
  if (appBlockLength_ == 0) appBlockOffset_ = offset;
  const int64_t need = static_cast<int64_t>(appBlockLength_) + count + 4;
  if (need > static_cast<int64_t>(appBlockCapacity_)) {
    // Grows geometrically, so that long runs of segments join in linear time.
    const size_t capacity = std::max({static_cast<size_t>(kAppBlockInitial), appBlockCapacity_ * 2,
                                      static_cast<size_t>(((need + 65536) / 65537) * 65537)});
    std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
    if (appBlockLength_ > 0) std::memcpy(grown.get(), appBlock_.get(), static_cast<size_t>(appBlockLength_));
    appBlock_ = std::move(grown);
    appBlockCapacity_ = capacity;
  }
  uint8_t* d = appBlock_.get() + appBlockLength_;
  d[0] = 0xFF;
  d[1] = static_cast<uint8_t>(marker);
  d[2] = static_cast<uint8_t>((declaredLength + 2) >> 8);
  d[3] = static_cast<uint8_t>(declaredLength + 2);
  if (count > 0) std::memcpy(d + 4, bytes, static_cast<size_t>(count));
  appBlockLength_ += count + 4;
}

void TkelBaseJpegParser::RecordRawSegment(int marker, int32_t length, const uint8_t* payload) {
  const size_t need = static_cast<size_t>(RawSegments.Length) + static_cast<size_t>(length) + 4;
  // Doubling from a small start: the headers of most files fit in it, and a large record
  // zeroed up front would be hundreds of fresh pages touched before the first picture.
  if (need > RawSegments.Data.size())
    RawSegments.Data.resize(std::max({need, RawSegments.Data.size() * 2, kRawRecordInitial}));
  uint8_t* d = RawSegments.Data.data() + RawSegments.Length;
  d[0] = 0xFF;
  d[1] = static_cast<uint8_t>(marker);
  d[2] = static_cast<uint8_t>((length + 2) >> 8);
  d[3] = static_cast<uint8_t>(length + 2);
  if (length > 0) std::memcpy(d + 4, payload, static_cast<size_t>(length));
  RawSegments.Length += length + 4;
}

int TkelBaseJpegParser::Parse(uint16_t flags, int colorModel) {
  Flags = flags;
  readLimit_ = (flags & pfLimit16M) ? int64_t{16777217} : INT64_MAX;
  const int result = ParseSegments(colorModel);
  if (pendingCode_ >= 0 || accBits_ >= 8) ReturnLookahead();
  if (bufferSize_ == 0) EmptyReadBuffer();
  return result;
}

int TkelBaseJpegParser::ParseSegments(int colorModel) {
  if (Flags & pfResumeAtScan) {
    EmptyReadBuffer();
  } else {
    Reset();
    ForcedColorModel = static_cast<uint8_t>(colorModel);
  }
  int r;
  if (!(Flags & (pfNoSOI | pfResumeAtScan))) {
    int m = 0;
    r = ReadMarker(m);
    if (r != jrOK) return r;
    if (m != mkSOI) return jrBadStructure;
  }
  std::memset(AllowedMarkers, 0, sizeof(AllowedMarkers));
  for (int m = mkSOF0; m <= mkSOF15; ++m)
    if (m != mkJPG && m != mkDAC) AllowMarker(m, true);  // the frames and DHT
  AllowMarker(mkSOS, true);
  AllowMarker(mkDQT, true);
  AllowMarker(mkDRI, true);
  for (int m = mkAPP0; m <= mkAPP15; ++m) AllowMarker(m, true);
  AllowMarker(mkCOM, true);

  if (segment_.empty()) segment_.resize(kSegmentBufferSize);
  for (;;) {
    if (!(Flags & pfResumeAtScan)) {
      int marker = 0;
      r = ReadNextMarker(marker);
      if (r != jrOK) {
        FlushAppBlock();
        return r;
      }
      const int64_t markerOffset = Position - 2;
      const bool isApp = IsAppOrCom(marker);
      if (!isApp) FlushAppBlock();
      segmentIsApp_ = isApp;
      segmentLength_ = 0;
      if (!IsAllowed(marker)) {
        FlushAppBlock();
        return jrBadStructure;
      }
      if (IsRestartMarker(marker)) {
        BeforeEvent();
        DoSegment(marker, 0, nullptr, 0);
        continue;
      }
      if (marker == mkEOI) {
        BeforeEvent();
        DoSegment(marker, 0, nullptr, 0);
        return DataErrors ? jrBadData : jrOK;
      }
      for (int m = mkRST0; m <= mkRST7; ++m) AllowMarker(m, false);
      int32_t length = 0;
      r = ReadSegmentLength(marker, length);
      if (r != jrOK) return r;
      segmentLength_ = length;
      uint8_t* payload = segment_.data();
      const int32_t got = static_cast<int32_t>(ReadBytes(payload, length));
      if (got < length) {
        BeforeEvent();
        if (isApp) {
          DoAppSegment(marker, length, payload, got);
          AddToAppBlock(markerOffset, marker, length, payload, got);
          FlushAppBlock();
        } else {
          DoSegment(marker, length, payload, got);
        }
        return jrEndOfData;
      }
      if (!ID) ID = std::make_unique<TkelJpegID>();
      ID->AddSegment(marker, length, payload);
      BeforeEvent();
      if (isApp) {
        if (Flags & pfRecordSegments) RecordRawSegment(marker, length, payload);
        DoAppSegment(marker, length, payload, length);
        AddToAppBlock(markerOffset, marker, length, payload, length);
        IdentifyAppSegment(marker, payload, length);
        continue;
      }
      DoSegment(marker, length, payload, length);
      if (IsFrameMarker(marker)) {
        r = ParseFrame(marker, payload, length);
        if (r != jrOK) return r;
        for (int m = mkSOF0; m <= mkSOF15; ++m)
          if (IsFrameMarker(m)) AllowMarker(m, false);
        continue;
      }
      switch (marker) {
        case mkDHT: r = ParseHuffmanTables(payload, length); break;
        case mkDQT: r = ParseQuantTables(payload, length); break;
        case mkDRI: r = ParseRestartInterval(payload, length); break;
        case mkSOS:
          // A scan header needs the frame it refers to.
          r = FrameSeen ? ParseScanHeader(payload, length) : jrBadStructure;
          break;
        default: return jrBadStructure;
      }
      if (r != jrOK) return r;
      if (marker != mkSOS) continue;
    }
    // Start of a scan (parsed, or resumed from the caller's stream).
    ScanDataOffset = Position;
    if (!FrameSeen) return jrBadStructure;
    if (Flags & pfHeadersOnly) return jrOK;
    if (Process != mkSOF0 && Process != mkSOF1 && Process != mkSOF2) return jrUnsupportedProcess;
    Flags &= static_cast<uint16_t>(~pfResumeAtScan);
    std::memset(AllowedMarkers, 0, sizeof(AllowedMarkers));
    AllowMarker(mkDHT, true);
    AllowMarker(mkDQT, true);
    AllowMarker(mkDRI, true);
    for (int m = mkAPP0; m <= mkAPP15; ++m) AllowMarker(m, true);
    AllowMarker(mkCOM, true);
    ++ScanCount;
    r = DecodeScan();
    if (r != jrOK) return r;
    // Damaged data that ran into another picture's or scan's header ends a judged parse there:
    // going on would parse what follows as more scans of this picture.
    if (headerMetInSearch_) return jrBadData;
    if ((Flags & pfStopWhenComplete) && Process != mkSOF2) {
      bool all = true;
      for (int i = 0; i < ComponentCount; ++i) all = all && FrameComponents[i].InScan;
      if (all) return jrOK;
    }
    AllowMarker(mkEOI, true);
    AllowMarker(mkSOS, true);
  }
}

}  // namespace vt
