// The scan header (SOS): scan components, their tables, spectral selection and successive
// approximation, and the MCU geometry of the scan.
#include "jpeg/parser.h"

namespace vt {

int TkelBaseJpegParser::ParseScanHeader(const uint8_t* p, int32_t n) {
  if (n < 1) return jrBadData;
  const int count = p[0];
  if (count < 1 || count > 4) return jrBadData;
  if (n - 1 < 2 * count) return jrBadData;
  ScanComponentCount = count;
  int32_t pos = 1;
  int scanMaxH = 0, scanMaxV = 0;
  for (int i = 0; i < count; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
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
    fc.InScan = 1;
    const int tables = p[pos + 1];
    if (tables > 63) return jrBadData;
    sc.DcTable = static_cast<uint8_t>(tables >> 4);
    sc.AcTable = static_cast<uint8_t>(tables & 0x0F);
    if (sc.AcTable > 3) return jrBadData;
    if ((Process == 0xC0 || Process == 0xC1) &&
        (!DcTables[sc.DcTable].Defined || !AcTables[sc.AcTable].Defined))
      return jrBadData;
    pos += 2;
  }
  if (n - pos != 3) return jrBadData;
  Ss = p[pos];
  Se = p[pos + 1];
  Ah = p[pos + 2] >> 4;
  Al = p[pos + 2] & 0x0F;
  for (int i = 0; i < count; ++i) {
    TkelScanComponent& sc = ScanComponents[i];
    sc.BlockWidth = (MaxH / sc.H) * 8;
    sc.BlockHeight = (MaxV / sc.V) * 8;
  }
  if (Process == 0xC2) {
    if ((Ss == 0) != (Se == 0)) return jrBadData;
    if (Se < Ss) return jrBadData;
    if (Ss > 0 && count != 1) return jrBadData;
    if (Se >= 64 || Ah > 13 || Al > 13) return jrBadData;
    if (Ah > 0 && Ah - Al != 1) return jrBadData;
  }
  if (count == 1) {
    TkelScanComponent& sc = ScanComponents[0];
    MCUWidth = sc.BlockWidth;
    MCUHeight = sc.BlockHeight;
    sc.BlocksAcross = 1;
    sc.BlocksDown = 1;
  } else {
    MCUWidth = MaxH * 8;
    MCUHeight = MaxV * 8;
    for (int i = 0; i < count; ++i) {
      TkelScanComponent& sc = ScanComponents[i];
      sc.BlocksAcross = MCUWidth / sc.BlockWidth;
      sc.BlocksDown = MCUHeight / sc.BlockHeight;
    }
  }
  MCUsPerRow = (Width + MCUWidth - 1) / MCUWidth;
  MCURows = HeightFromDNL ? 0 : (Height + MCUHeight - 1) / MCUHeight;
  if (ID) {
    ID->SetWidth(MCUsPerRow * MCUWidth);
    ID->SetHeight(MCURows * MCUHeight);
  }
  return jrOK;
}

}  // namespace vt
