// What the repair tests share: camera-like photos damaged as cards damage them, opened through
// the one road exactly as the viewer and the commands open them, and scored MCU by MCU against
// libjpeg's intact picture.
#pragma once

#include <memory>
#include <string>

#include "source/disc_source.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "support/mcu_score.h"
#include "viewer/open_document.h"
#include "viewer/thumb_source.h"

namespace vt::test {

// A damaged file opened as the viewer opens it (File > Open), with or without the automatic
// realignment.
struct TOpenedDamage {
  TvtDiscSource Source;
  std::unique_ptr<TvtThumbSource> Document = std::make_unique<TvtThumbSource>();
  std::string Path;
  ~TOpenedDamage() { Document.reset(); }
};

inline std::unique_ptr<TOpenedDamage> OpenDamaged(const Bytes& bytes, TvtRepair repair) {
  auto opened = std::make_unique<TOpenedDamage>();
  opened->Path = TempPath(".jpg");
  WriteBytes(opened->Path, bytes);
  TvtOpenOptions options;
  options.Repair = repair;
  OpenDocument(opened->Source, *opened->Document, opened->Path, options);
  return opened;
}

// The picture shown (holes transparent), as the scorer wants it.
inline TBitmap32 Shown(const TOpenedDamage& opened) {
  const TvtThumbSource& doc = *opened.Document;
  return doc.HasImage() ? TBitmap32(*doc.MainImage()) : TBitmap32();
}

inline TCameraPhotoOptions PhotoOptions(TRestartKind restart, uint32_t seed = 5, bool sample422 = false) {
  TCameraPhotoOptions o;
  o.Width = 1024;
  o.Height = 768;
  o.Seed = seed;
  o.Restart = restart;
  o.Sample422 = sample422;
  return o;
}

// The damage of one kind at a place chosen from seed ("two": a zeroed cluster and a replaced one;
// "delete+insert", "replace+flip": the two damages named), with another photo of the same kind as the
// donor.
inline TDamaged Damage(const Bytes& jpeg, const std::string& kind, uint32_t seed, const Bytes& donor) {
  const TDamageKind k = kind == "zero"      ? TDamageKind::Zero
                        : kind == "replace" ? TDamageKind::Replace
                        : kind == "delete"  ? TDamageKind::Delete
                        : kind == "insert"  ? TDamageKind::Insert
                                            : TDamageKind::FlipBit;
  if (kind == "two")
    return ApplyDamage(jpeg, PickTwoPlaces(jpeg, TDamageKind::Zero, TDamageKind::Replace, seed, donor), donor);
  if (kind == "delete+insert")
    return ApplyDamage(jpeg, PickTwoPlaces(jpeg, TDamageKind::Delete, TDamageKind::Insert, seed, donor), donor);
  if (kind == "replace+flip")
    return ApplyDamage(jpeg, PickTwoPlaces(jpeg, TDamageKind::Replace, TDamageKind::FlipBit, seed, donor), donor);
  const size_t clusters = k == TDamageKind::Replace ? 2 : 1;
  return ApplyDamage(jpeg, {PickPlace(jpeg, k, seed, clusters, donor)}, donor);
}

}  // namespace vt::test
