#include "jpeg/mcu_snapshot.h"

#include <algorithm>
#include <cstring>

#include "jpeg/parser.h"

namespace vt {

namespace {

// A block's header in Packed: kAbsent for a cell never written, else Decoded + 256 x the number
// of non-zero coefficients, followed by that many (natural index, value) pairs.
constexpr int16_t kAbsent = -1;

// The cell of block b (0 .. blocks per MCU - 1) of scan component sc in MCU m, or where it would be.
struct TBlockPlace {
  TkelMCUs* Map = nullptr;
  int32_t X = 0, Y = 0;
};

TBlockPlace PlaceOf(const TkelBaseJpegParser& image, int sc, int b, int32_t m) {
  const TkelScanComponent& c = image.ScanComponents[sc];
  const int32_t col = m % image.MCUsPerRow, row = m / image.MCUsPerRow;
  return {image.MCUs[c.FrameIndex].get(), col * c.BlocksAcross + b % c.BlocksAcross,
          row * c.BlocksDown + b / c.BlocksAcross};
}

int BlocksOf(const TkelBaseJpegParser& image, int sc) {
  return image.ScanComponents[sc].BlocksAcross * image.ScanComponents[sc].BlocksDown;
}

int32_t GridEnd(const TkelBaseJpegParser& image, int32_t end) {
  return static_cast<int32_t>(std::min<int64_t>(end, int64_t(image.MCUsPerRow) * image.MCURows));
}

}  // namespace

size_t TkelMCUSnapshot::Bytes() const {
  return sizeof(*this) + Held.capacity() * sizeof(int32_t) + Start.capacity() * sizeof(uint32_t) +
         Packed.capacity() * sizeof(int16_t) + Offsets.capacity() * sizeof(TkelOffsetEntry);
}

TkelMCUSnapshot SaveMCUs(const TkelBaseJpegParser& image, int32_t first, int32_t end) {
  TkelMCUSnapshot s;
  s.DataErrors = image.DataErrors;
  for (int i = 0; i < 4; ++i) {
    s.ExpectedMCUs[i] = image.FrameComponents[i].ExpectedMCUs;
    s.DecodedMCUs[i] = image.FrameComponents[i].DecodedMCUs;
  }
  if (image.MCUsPerRow <= 0 || image.ScanComponentCount <= 0) return s;
  s.First = std::max(first, 0);
  s.End = std::max(s.First, GridEnd(image, end));
  // Beyond the reached end nothing is held.
  const int32_t stop = std::min(s.End, image.ReachedMCUs());
  for (int32_t m = s.First; m < stop; ++m) {
    const size_t mark = s.Packed.size();
    bool held = false;
    for (int sc = 0; sc < image.ScanComponentCount; ++sc)
      for (int b = 0; b < BlocksOf(image, sc); ++b) {
        const TBlockPlace at = PlaceOf(image, sc, b, m);
        const TkelCoefBlock* blk = at.Map ? at.Map->Block(at.X, at.Y) : nullptr;
        if (blk == nullptr) {
          s.Packed.push_back(kAbsent);
          continue;
        }
        held = true;
        const size_t header = s.Packed.size();
        s.Packed.push_back(0);
        int nonZero = 0;
        for (int k = 0; k < 64; ++k)
          if (blk->Coef[k] != 0) {
            s.Packed.push_back(static_cast<int16_t>(k));
            s.Packed.push_back(blk->Coef[k]);
            ++nonZero;
          }
        s.Packed[header] = static_cast<int16_t>(blk->Decoded + 256 * nonZero);
      }
    const TkelOffsetEntry* entry =
        image.Offsets ? image.Offsets->Entry(m % image.MCUsPerRow, m / image.MCUsPerRow) : nullptr;
    if (!held && entry == nullptr) {
      s.Packed.resize(mark);
      continue;
    }
    s.Held.push_back(m);
    s.Start.push_back(static_cast<uint32_t>(mark));
    s.Offsets.push_back(entry ? *entry : TkelOffsetEntry{});
  }
  s.Held.shrink_to_fit();
  s.Start.shrink_to_fit();
  s.Packed.shrink_to_fit();
  s.Offsets.shrink_to_fit();
  return s;
}

namespace {

// Zeroes MCU m where it holds anything (absent cells stay absent).
void ZeroMCU(TkelBaseJpegParser& image, int32_t m) {
  for (int sc = 0; sc < image.ScanComponentCount; ++sc)
    for (int b = 0; b < BlocksOf(image, sc); ++b) {
      const TBlockPlace at = PlaceOf(image, sc, b, m);
      if (auto* blk = at.Map ? const_cast<TkelCoefBlock*>(at.Map->Block(at.X, at.Y)) : nullptr)
        std::memset(static_cast<void*>(blk), 0, sizeof(TkelCoefBlock));
    }
  if (image.Offsets)
    if (auto* e = const_cast<TkelOffsetEntry*>(image.Offsets->Entry(m % image.MCUsPerRow, m / image.MCUsPerRow)))
      std::memset(static_cast<void*>(e), 0, sizeof(*e));
}

}  // namespace

void RestoreMCUs(TkelBaseJpegParser& image, const TkelMCUSnapshot& s) {
  ++image.BlockEdits;
  image.DataErrors = s.DataErrors;
  for (int i = 0; i < 4; ++i) {
    image.FrameComponents[i].ExpectedMCUs = s.ExpectedMCUs[i];
    image.FrameComponents[i].DecodedMCUs = s.DecodedMCUs[i];
  }
  if (image.MCUsPerRow <= 0 || image.ScanComponentCount <= 0) return;
  // What was not held was absent: whatever the range holds now outside the held MCUs goes.
  const int32_t stop = std::min(s.End, image.ReachedMCUs());
  size_t next = 0;
  for (int32_t m = s.First; m < stop; ++m) {
    while (next < s.Held.size() && s.Held[next] < m) ++next;
    if (next < s.Held.size() && s.Held[next] == m) continue;
    ZeroMCU(image, m);
  }
  for (size_t i = 0; i < s.Held.size(); ++i) {
    const int32_t m = s.Held[i];
    size_t at = s.Start[i];
    for (int sc = 0; sc < image.ScanComponentCount; ++sc)
      for (int b = 0; b < BlocksOf(image, sc); ++b) {
        const int16_t header = s.Packed[at++];
        const TBlockPlace place = PlaceOf(image, sc, b, m);
        if (place.Map == nullptr) {
          if (header != kAbsent) at += 2 * static_cast<size_t>(header / 256);
          continue;
        }
        if (header == kAbsent) {
          if (auto* blk = const_cast<TkelCoefBlock*>(place.Map->Block(place.X, place.Y)))
            std::memset(static_cast<void*>(blk), 0, sizeof(TkelCoefBlock));
          continue;
        }
        if (place.Y >= place.Map->Rows) place.Map->SetRows(place.Y + 1);
        TkelCoefBlock* blk = place.Map->WritableBlock(place.X, place.Y);
        const int nonZero = header / 256;
        if (blk != nullptr) {
          std::memset(static_cast<void*>(blk), 0, sizeof(TkelCoefBlock));
          blk->Decoded = static_cast<uint8_t>(header % 256);
          for (int k = 0; k < nonZero; ++k)
            blk->Coef[s.Packed[at + 2 * static_cast<size_t>(k)]] = s.Packed[at + 2 * static_cast<size_t>(k) + 1];
        }
        at += 2 * static_cast<size_t>(nonZero);
      }
    if (image.Offsets) {
      const int32_t col = m % image.MCUsPerRow, row = m / image.MCUsPerRow;
      if (row >= image.Offsets->Rows) image.Offsets->SetRows(row + 1);
      if (TkelOffsetEntry* e = image.Offsets->WritableEntry(col, row)) *e = s.Offsets[i];
    }
  }
}

}  // namespace vt
