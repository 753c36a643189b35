#include <cstring>

#include "jpeg/markers.h"
#include "jpeg/std_tables.h"
#include "jpeg/writer_stages.h"

namespace vt {

namespace {

void WriteSegmentHeader(TkelBitWriter& out, uint8_t marker, int32_t length) {
  out.WriteByte(0xFF);
  out.WriteByte(marker);
  out.WriteWord(static_cast<uint16_t>(length));
}

// A table is written when it was defined, or when a frame component refers to it (a decoder
// refuses a frame whose table is missing; an undefined one is written as all ones).
bool TableNeeded(const TkelBaseJpegParser& p, int t) {
  if (p.QuantTables[t].Defined) return true;
  for (int c = 0; c < p.ComponentCount && c < 4; ++c)
    if (p.FrameComponents[c].QuantTable == t) return true;
  return false;
}

bool HasWideEntries(const TkelQuantTable& q) {
  if (!q.Defined) return false;
  for (uint16_t e : q.Entries)
    if (e > 255) return true;
  return false;
}

void WriteQuantTables(const TkelBaseJpegParser& p, TkelBitWriter& out) {
  int32_t length = 2;
  for (int t = 0; t < 4; ++t)
    if (TableNeeded(p, t)) length += HasWideEntries(p.QuantTables[t]) ? 129 : 65;
  if (length == 2) return;
  WriteSegmentHeader(out, mkDQT, length);
  for (int t = 0; t < 4; ++t) {
    if (!TableNeeded(p, t)) continue;
    const TkelQuantTable& q = p.QuantTables[t];
    if (HasWideEntries(q)) {
      // Entries above 255 need 16-bit precision; cutting them to their low byte would make
      // every decoder dequantise with wrong values.
      out.WriteByte(static_cast<uint8_t>(0x10 | t));
      for (uint16_t e : q.Entries) out.WriteWord(e);
    } else {
      out.WriteByte(static_cast<uint8_t>(t));
      for (int i = 0; i < 64; ++i) out.WriteByte(q.Defined ? static_cast<uint8_t>(q.Entries[i]) : 1);
    }
  }
}

void WriteFrameHeader(const TkelBaseJpegParser& p, const TkelJpegWriterState& st, TkelBitWriter& out) {
  bool wide = false;
  for (int t = 0; t < 4; ++t) wide = wide || (TableNeeded(p, t) && HasWideEntries(p.QuantTables[t]));
  // A 16-bit quantisation table is not allowed in a baseline frame: mark it extended sequential
  // (same Huffman coding, read by every decoder).
  WriteSegmentHeader(out, wide ? mkSOF1 : mkSOF0, 3 * st.Table.Count + 8);
  out.WriteByte(8);
  out.WriteWord(static_cast<uint16_t>(st.Table.Height));
  out.WriteWord(static_cast<uint16_t>(p.Width));
  out.WriteByte(static_cast<uint8_t>(st.Table.Count));
  for (int c = 0; c < st.Table.Count; ++c) {
    const TkelWriterComponent& wc = st.Table.Components[c];
    out.WriteByte(wc.Id);
    out.WriteByte(static_cast<uint8_t>(wc.H * 16 + wc.V));
    out.WriteByte(wc.QuantTable);
  }
}

void WriteHuffmanTables(TkelBitWriter& out) {
  WriteSegmentHeader(out, mkDHT, 0x01A2);
  const std::pair<uint8_t, const TStdHuffmanTable*> tables[4] = {
      {0x00, &kStdDcLuminance}, {0x10, &kStdAcLuminance}, {0x01, &kStdDcChrominance}, {0x11, &kStdAcChrominance}};
  for (const auto& [classAndNumber, t] : tables) {
    out.WriteByte(classAndNumber);
    out.WriteBytes(t->Counts, 16);
    out.WriteBytes(t->Values, static_cast<size_t>(t->ValueCount));
  }
}

void WriteScanHeader(const TkelJpegWriterState& st, TkelBitWriter& out) {
  WriteSegmentHeader(out, mkSOS, 2 * st.Table.Count + 6);
  out.WriteByte(static_cast<uint8_t>(st.Table.Count));
  for (int c = 0; c < st.Table.Count; ++c) {
    const TkelWriterComponent& wc = st.Table.Components[c];
    out.WriteByte(wc.Id);
    out.WriteByte(static_cast<uint8_t>(wc.DcTable * 16 + wc.AcTable));
  }
  out.WriteByte(0);
  out.WriteByte(63);
  out.WriteByte(0);
}

}  // namespace

void WriteHeaderSegments(const TkelBaseJpegParser& parser, const TkelJpegWriterState& state,
                         TkelBitWriter& out) {
  out.WriteByte(0xFF);
  out.WriteByte(mkSOI);
  const TkelRawSegments& raw = parser.RawSegments;
  if (raw.Length > 0 && static_cast<size_t>(raw.Length) <= raw.Data.size())
    out.WriteBytes(raw.Data.data(), static_cast<size_t>(raw.Length));
  WriteQuantTables(parser, out);
  WriteFrameHeader(parser, state, out);
  WriteHuffmanTables(out);
  WriteScanHeader(state, out);
}

}  // namespace vt
