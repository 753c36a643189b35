#include "viewer/status_text.h"

#include <cstdio>

#include "jpeg/markers.h"

namespace vt {

namespace {

std::string Format(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

std::string ThumbnailText(const TvtThumbSource& doc) {
  if (doc.ThumbCount() == 0) return "No thumbnail";
  const TvtThumb* thumb = doc.GetThumbs(doc.MainThumbIndex);
  if (thumb == nullptr) return "Holes not filled";
  TvtThumb& t = *const_cast<TvtThumb*>(thumb);
  const TBitmap32* b = t.GetBitmap();
  const std::string kind = thumb->Kind.empty() ? "thumbnail" : thumb->Kind + " thumbnail";
  return Format("Holes from %s %d of %d, %d x %d", kind.c_str(), doc.MainThumbIndex + 1, doc.ThumbCount(),
                b->Width(), b->Height());
}

}  // namespace

std::string ProcessText(int32_t process) {
  switch (process) {
    case mkSOF0: return "Baseline";
    case mkSOF1: return "Extended";
    case mkSOF2: return "Progressive";
    default: return Format("SOF %d", process - mkSOF0);
  }
}

std::vector<std::string> DocumentStatus(const TvtThumbSource& doc) {
  if (!doc.HasImage()) return {};
  const TkelJpegWithThumbs& jpeg = *doc.Jpeg;
  std::vector<std::string> fields;
  fields.push_back(Format("%d x %d", jpeg.Width, jpeg.Height));
  fields.push_back(ProcessText(jpeg.Process));
  fields.push_back(Format("Decoded %d %%", jpeg.DecodedPercent()));
  // Damage that happens to decode (zeroed bytes do) sets no error flag; the repair's analysis
  // still finds where it starts.
  const bool damaged = jpeg.DataErrors || doc.RepairReport.Damaged || doc.RepairReport.FirstDamageMCU >= 0;
  if (!damaged)
    fields.push_back("No data errors");
  else if (doc.RepairReport.FirstDamageMCU >= 0 && doc.MCUCols > 0)
    fields.push_back(Format("Data errors from MCU %d, %d", doc.RepairReport.FirstDamageMCU % doc.MCUCols,
                            doc.RepairReport.FirstDamageMCU / doc.MCUCols));
  else
    fields.push_back("Data errors");
  fields.push_back(jpeg.RestartInterval > 0 ? Format("Restart interval %d", jpeg.RestartInterval)
                                            : std::string("No restart markers"));
  fields.push_back(ThumbnailText(doc));
  return fields;
}

std::string ZoomText(double percent) {
  return percent < 10 ? Format("Zoom %.1f %%", percent) : Format("Zoom %.0f %%", percent);
}

std::string CursorText(const TvtThumbSource& doc, TvtMCUPos p) {
  if (p.Col < 0 || p.Row < 0 || p.Col >= doc.MCUCols || p.Row >= doc.MCURows) return {};
  const int64_t index = int64_t(p.Row) * doc.MCUCols + p.Col;
  std::string text = Format("MCU %d, %d (#%lld): ", p.Col, p.Row, static_cast<long long>(index));
  text += doc.IsMCUDecoded(p) ? "decoded" : "not decoded";
  const TkelOffsetEntry at = doc.GetMCUOffsets(p);
  if (at.Valid) text += Format(", starts at byte %d bit %d", at.StartByte, at.StartBit);
  return text;
}

std::string RealignText(bool changed, const repair::TRepairReport& report, double seconds) {
  if (!changed) return Format("Realignment: nothing to change (%.2f s)", seconds);
  int32_t placed = 0, cleared = 0, resumed = 0;
  for (const repair::TRepairPlace& place : report.Places) {
    placed += place.ResumedMCUs;
    cleared += place.ClearedMCUs;
    if (place.ResumeMCU >= 0) ++resumed;
  }
  std::string text = Format("Realigned %d of %d damaged places: %d MCUs placed, %d cleared", resumed,
                            static_cast<int>(report.Places.size()), placed, cleared);
  if (report.Intervals.Moved > 0) text += Format(", %d restart intervals moved", report.Intervals.Moved);
  return text + Format(" (%.2f s)", seconds);
}

}  // namespace vt
