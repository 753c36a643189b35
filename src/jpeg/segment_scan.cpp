// The scan header (SOS): scan components, their tables, spectral selection and successive
// approximation, and the MCU geometry of the scan. The header is checked completely before
// it replaces the current scan's parameters, so a rejected header never leaves a half-set
// scan behind (the maps and offsets still belong to the last scan that was decoded).
#include "jpeg/markers.h"
#include "jpeg/mcu_layout.h"
#include "jpeg/parser.h"

namespace vt {

int TkelBaseJpegParser::ParseScanHeader(const uint8_t* p, int32_t n) {
  if (n < 1) return jrBadData;
  const int count = p[0];
  if (count < 1 || count > 4) return jrBadData;
  if (n - 1 < 2 * count) return jrBadData;
  TkelScanComponent comps[4] = {};
  int32_t pos = 1;
  int scanMaxH = 0, scanMaxV = 0;
  for (int i = 0; i < count; ++i) {
    TkelScanComponent& sc = comps[i];
    sc.DcPredictor = 0;
    sc.Id = p[pos];
    int found = -1;
    for (int k = 0; k < ComponentCount; ++k)
      if (FrameComponents[k].Id == sc.Id) {
        found = k;
        break;
      }
    if (found < 0) return jrBadData;
    TkelFrameComponent& fc = FrameComponents[found];
    sc.FrameIndex = found;
    sc.H = fc.H;
    sc.V = fc.V;
    sc.QuantTable = fc.QuantTable;
    if (sc.H > scanMaxH) scanMaxH = sc.H;
    if (sc.V > scanMaxV) scanMaxV = sc.V;
    const int tables = p[pos + 1];
    if (tables > 63) return jrBadData;
    sc.DcTable = static_cast<uint8_t>(tables >> 4);
    sc.AcTable = static_cast<uint8_t>(tables & 0x0F);
    if (sc.AcTable > 3) return jrBadData;
    if ((Process == mkSOF0 || Process == mkSOF1) &&
        (!UseStandardHuffmanTable(0, sc.DcTable) || !UseStandardHuffmanTable(1, sc.AcTable)))
      return jrBadData;
    pos += 2;
  }
  if (n - pos != 3) return jrBadData;
  const int ss = p[pos], se = p[pos + 1], ah = p[pos + 2] >> 4, al = p[pos + 2] & 0x0F;
  for (int i = 0; i < count; ++i) {
    TkelScanComponent& sc = comps[i];
    sc.BlockWidth = (MaxH / sc.H) * 8;
    sc.BlockHeight = (MaxV / sc.V) * 8;
  }
  if (Process == mkSOF2) {
    if ((ss == 0) != (se == 0)) return jrBadData;
    if (se < ss) return jrBadData;
    if (ss > 0 && count != 1) return jrBadData;
    if (se >= 64 || ah > 13 || al > 13) return jrBadData;
    if (ah > 0 && ah - al != 1) return jrBadData;
  }
  ScanComponentCount = count;
  for (int i = 0; i < 4; ++i) ScanComponents[i] = comps[i];
  for (int i = 0; i < count; ++i) FrameComponents[comps[i].FrameIndex].InScan = 1;
  Ss = ss;
  Se = se;
  Ah = ah;
  Al = al;
  const TkelMcuLayout mcu =
      ScanMcuLayout(Width, HeightFromDNL ? 0 : Height, MaxH, MaxV, count, ScanComponents[0].H, ScanComponents[0].V);
  MCUWidth = mcu.Width;
  MCUHeight = mcu.Height;
  MCUsPerRow = mcu.Cols;
  MCURows = mcu.Rows;
  for (int i = 0; i < count; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
    sc.BlocksAcross = MCUWidth / sc.BlockWidth;
    sc.BlocksDown = MCUHeight / sc.BlockHeight;
  }
  if (ID) {
    ID->SetWidth(MCUsPerRow * MCUWidth);
    ID->SetHeight(MCURows * MCUHeight);
  }
  return jrOK;
}

}  // namespace vt
