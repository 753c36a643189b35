#include "jpeg/writer.h"

#include <algorithm>
#include <cstring>

#include "base/limits.h"
#include "jpeg/jpeg_constants.h"
#include "jpeg/markers.h"
#include "jpeg/mcu_layout.h"
#include "jpeg/std_tables.h"
#include "jpeg/writer_stages.h"

namespace vt {

namespace {

int32_t CeilDiv(int32_t a, int32_t b) { return b > 0 ? (a + b - 1) / b : 0; }

void BuildTables(TkelJpegWriterState& st) {
  if (st.TablesBuilt) return;
  BuildEncodeTable(kStdDcLuminance, st.DcTables[0]);
  BuildEncodeTable(kStdAcLuminance, st.AcTables[0]);
  BuildEncodeTable(kStdDcChrominance, st.DcTables[1]);
  BuildEncodeTable(kStdAcChrominance, st.AcTables[1]);
  st.TablesBuilt = true;
}

// Gives the component's coefficient map the writer's geometry; cells inside keep their contents,
// rows that decoding never reached read as missing blocks.
void Redimension(TkelMCUs& m, const TkelWriterComponentTable& t, const TkelWriterComponent& wc) {
  m.SetColumns(t.MCUsPerRow * wc.BlocksAcross);
  m.SetRows(t.MCURows * wc.BlocksDown);
  m.MCUsPerRow = t.MCUsPerRow;
  m.MCURows = t.MCURows;
  m.MCUWidth = t.MCUWidth;
  m.MCUHeight = t.MCUHeight;
  m.BlocksAcross = wc.BlocksAcross;
  m.BlocksDown = wc.BlocksDown;
  m.BlocksPerMCU = wc.BlocksAcross * wc.BlocksDown;
  m.BlockWidth = wc.BlockWidth;
  m.BlockHeight = wc.BlockHeight;
  m.UpsampleH = wc.BlockWidth / 8;
  m.UpsampleV = wc.BlockHeight / 8;
}

// The divisors the component's blocks are quantised with: the table copied into the frame
// component at its last scan, else the parser's table, else entry 1 everywhere.
const int32_t* Divisors(const TkelBaseJpegParser& p, int index) {
  static const int32_t kUnit[64] = {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
                                    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
                                    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
  const TkelFrameComponent& fc = p.FrameComponents[index];
  if (fc.Quant.Defined) return fc.Quant.Scaled8;
  if (fc.QuantTable < 4 && p.QuantTables[fc.QuantTable].Defined) return p.QuantTables[fc.QuantTable].Scaled8;
  return kUnit;
}

// A tiny file that declares a huge frame is restored as the renderer shows it: in full when the
// data could plausibly cover the frame, otherwise down to the last row that decoding reached
// (at least one MCU row), so a few bytes never become a file of gigabytes.
int32_t WrittenHeight(const TkelBaseJpegParser& p, const TkelWriterComponentTable& t) {
  if (FrameIsPlausible(p.Width, p.Height, p.Position)) return p.Height;
  int64_t reached = 0;
  for (int c = 0; c < t.Count; ++c)
    if (p.MCUs[c]) reached = std::max<int64_t>(reached, int64_t(p.MCUs[c]->Rows) * t.Components[c].BlockHeight);
  reached = std::max<int64_t>(reached, t.MCUHeight);
  return static_cast<int32_t>(std::min<int64_t>(reached, p.Height));
}

bool IsSelected(const TkelAlphaComponentData* selection, int32_t x, int32_t y) {
  if (selection == nullptr) return false;
  const uint8_t* cell = selection->Cell(x / 64, y / 8);
  return cell != nullptr && ((*cell >> ((x / 8) % 8)) & 1) != 0;
}

}  // namespace

const TkelWriterComponentTable& PrepareWriter(const TkelBaseJpegParser& p, TkelJpegWriterState& st) {
  TkelWriterComponentTable& t = st.Table;
  t = TkelWriterComponentTable{};
  st.ColorModel = static_cast<uint8_t>(p.GetColorModel());
  if (!p.FrameSeen || p.ComponentCount < 1 || p.ComponentCount > 4) return t;
  t.Count = p.ComponentCount;
  for (int c = 0; c < t.Count; ++c) {
    const TkelFrameComponent& fc = p.FrameComponents[c];
    TkelWriterComponent& wc = t.Components[c];
    wc.Id = fc.Id;
    wc.Index = c;
    wc.H = fc.H > 0 ? fc.H : 1;
    wc.V = fc.V > 0 ? fc.V : 1;
    wc.QuantTable = fc.QuantTable;
    wc.DcPredictor = 0;
    const bool chroma = (c == 1 || c == 2) && st.ColorModel != cmRGB;
    wc.DcTable = wc.AcTable = chroma ? 1 : 0;
    if (wc.H > t.MaxH) t.MaxH = wc.H;
    if (wc.V > t.MaxV) t.MaxV = wc.V;
  }
  // Block sizes follow the parser's MaxH/MaxV (they equal the largest factors of the frame).
  const int32_t maxH = p.MaxH > 0 ? p.MaxH : t.MaxH, maxV = p.MaxV > 0 ? p.MaxV : t.MaxV;
  for (int c = 0; c < t.Count; ++c) {
    TkelWriterComponent& wc = t.Components[c];
    wc.BlockWidth = (maxH / wc.H) * 8;
    wc.BlockHeight = (maxV / wc.V) * 8;
  }
  // One scan of every component: the frame's MCU.
  const TkelMcuLayout mcu =
      ScanMcuLayout(p.Width, p.Height, maxH, maxV, t.Count, t.Components[0].H, t.Components[0].V);
  t.MCUWidth = mcu.Width;
  t.MCUHeight = mcu.Height;
  for (int c = 0; c < t.Count; ++c) {
    TkelWriterComponent& wc = t.Components[c];
    wc.BlocksAcross = t.MCUWidth / wc.BlockWidth;
    wc.BlocksDown = t.MCUHeight / wc.BlockHeight;
    if (wc.BlocksAcross < 1) wc.BlocksAcross = 1;
    if (wc.BlocksDown < 1) wc.BlocksDown = 1;
  }
  t.MCUsPerRow = mcu.Cols;
  t.Height = WrittenHeight(p, t);
  t.MCURows = CeilDiv(t.Height, t.MCUHeight);
  return t;
}

bool HasMissingBlocks(const TkelBaseJpegParser& p, TkelJpegWriterState& st) {
  const TkelWriterComponentTable& t = PrepareWriter(p, st);
  for (int c = 0; c < t.Count; ++c) {
    const TkelMCUs* m = p.MCUs[c].get();
    if (m == nullptr) return true;
    // Only blocks inside the picture count: the padding blocks that complete the last MCU of a
    // row or column are never coded in a non-interleaved scan, and decoders ignore them.
    const TkelWriterComponent& wc = t.Components[c];
    const int32_t cols = CeilDiv(CeilDiv(p.Width, wc.BlockWidth / 8), 8);
    const int32_t rows = CeilDiv(CeilDiv(t.Height, wc.BlockHeight / 8), 8);
    if (rows > m->Rows || cols > m->Columns) return true;
    for (int32_t row = 0; row < rows; ++row)
      for (int32_t col = 0; col < cols; ++col) {
        const TkelCoefBlock* b = m->Block(col, row);
        if (b == nullptr || !b->Decoded) return true;
      }
  }
  return false;
}

bool WriteBaselineJpeg(TkelBaseJpegParser& p, TkelJpegWriterState& st, TStream& stream,
                       const TBitmap32* bitmap, const TkelAlphaComponentData* selection) {
  const TkelWriterComponentTable& t = PrepareWriter(p, st);
  if (t.Count == 0) return false;
  BuildTables(st);

  TkelBitWriter out(stream, st.Output);
  WriteHeaderSegments(p, st, out);

  for (int c = 0; c < t.Count; ++c) {
    if (!p.MCUs[c]) p.MCUs[c] = std::make_unique<TkelMCUs>();
    Redimension(*p.MCUs[c], t, t.Components[c]);
  }

  const bool canFill = bitmap != nullptr && !bitmap->Empty() && HasForwardConversion(st);
  if (canFill) {
    for (int c = 0; c < t.Count; ++c) {
      const TkelWriterComponent& wc = t.Components[c];
      st.MCUPlanes[c].SetColumns(t.MCUWidth);
      st.MCUPlanes[c].SetRows(t.MCUHeight);
      st.MCUBlocks[c].SetColumns(wc.BlocksAcross);
      st.MCUBlocks[c].SetRows(wc.BlocksDown);
    }
  }
  const int32_t* divisors[4] = {};
  for (int c = 0; c < t.Count; ++c) divisors[c] = Divisors(p, c);

  // Every MCU is filled first, then all are encoded: filling an MCU touches only its own blocks,
  // so the order makes no difference to the bytes, and the encoding can be split.
  for (int32_t y = 0; y < t.MCURows; ++y) {
    for (int32_t x = 0; x < t.MCUsPerRow; ++x) {
      const bool selected = canFill && IsSelected(selection, x, y);
      bool marked = false;
      if (!selected) {
        for (int c = 0; c < t.Count; ++c) {
          const TkelWriterComponent& wc = t.Components[c];
          TkelMCUs& m = *p.MCUs[c];
          for (int by = 0; by < wc.BlocksDown; ++by)
            for (int bx = 0; bx < wc.BlocksAcross; ++bx) {
              // An absent block (a row decoding never reached) reads as zero already.
              TkelCoefBlock* b = reinterpret_cast<TkelCoefBlock*>(
                  m.Cell(x * wc.BlocksAcross + bx, y * wc.BlocksDown + by));
              if (b == nullptr) {
                marked = true;
              } else if (!b->Decoded) {
                std::memset(b->Coef, 0, sizeof b->Coef);
                marked = true;
              }
            }
        }
      }
      if ((selected || marked) && canFill) {
        ConvertMCUPixels(st, *bitmap, x, y);
        for (int c = 0; c < t.Count; ++c) {
          const TkelWriterComponent& wc = t.Components[c];
          TransformMCUBlocks(st, c, divisors[c]);
          TkelMCUs& m = *p.MCUs[c];
          for (int by = 0; by < wc.BlocksDown; ++by)
            for (int bx = 0; bx < wc.BlocksAcross; ++bx) {
              const int32_t col = x * wc.BlocksAcross + bx, row = y * wc.BlocksDown + by;
              const TkelCoefBlock* existing = m.Block(col, row);
              if (!selected && existing != nullptr && existing->Decoded) continue;
              TkelCoefBlock* dst = m.WritableBlock(col, row);
              std::memcpy(dst->Coef, st.MCUBlocks[c].Block(bx, by)->Coef, sizeof dst->Coef);
            }
        }
      }
    }
  }
  EncodeMCUs(p, st, out);
  out.PadBits();
  out.WriteByte(0xFF);
  out.WriteByte(mkEOI);
  out.FlushBuffer();
  return true;
}

}  // namespace vt
