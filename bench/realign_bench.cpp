// How much of a damaged camera photo is shown in its place: our decoder (the viewer's road, see
// realign_open.h) against libjpeg-turbo, on camera-like photos damaged as memory cards damage
// them, judged MCU by MCU against the intact photo (tests/support/mcu_score.h).
//
//   realign_bench [--dir DIR] [--photos N] [--seeds N] [--repair none|auto] [--list]
//                 [--only TEXT] [--save DIR] [--tile-mean X] [--pixel-max N]
//
// The photos are made once into DIR (default /tmp/vt-realign): N pictures (default 3, or
// $VT_REALIGN_PHOTOS) of 2048 x 1536 up to 3648 x 2736, each encoded without restart markers
// and with intervals of 1 MCU, 4 MCUs and one MCU row. Each file is damaged in every way (zero
// 4 KiB, replace 8 KiB with another photo's scan data, delete 4 KiB, insert 4 KiB, flip a bit,
// two places) with several seeds (default 3, or $VT_REALIGN_SEEDS), at cluster boundaries of
// 4096 bytes. The table pools the MCUs of the files of each row: the per cent of the recoverable
// MCUs (whose bytes the damage left) shown right, and the per cent of all MCUs shown wrong.
//
// --list prints one line per damaged file (its name, then the same four figures); --only
// keeps the files whose name holds TEXT; --save DIR writes each damaged file and the pictures of each file run
// (realign_pictures.h) and needs --only; --repair passes a repair mode to the open.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "realign_open.h"
#include "realign_pictures.h"
#include "support/camera_photo.h"
#include "support/damage.h"
#include "support/mcu_score.h"

namespace {

namespace fs = std::filesystem;
using vt::test::Bytes;
using vt::test::TDamageKind;
using vt::test::TRestartKind;

// Bump when the photos' recipe changes: the photos made before are then made again.
constexpr int kPhotoRecipe = 1;

struct TSettings {
  std::string Dir = "/tmp/vt-realign";
  int Photos = 3;
  int Seeds = 3;
  bool List = false;
  std::string Only;
  std::string SaveDir;
  std::string Repair = "none";
  vt::test::TScoreTolerance Tolerance;
};

struct TPhoto {
  std::string Name;
  vt::test::TCameraPhotoOptions Options;
};

constexpr TRestartKind kVariants[] = {TRestartKind::None, TRestartKind::OneMCU, TRestartKind::FourMCUs,
                                      TRestartKind::OneRow};
const char* VariantTag(TRestartKind k) {
  switch (k) {
    case TRestartKind::None: return "none";
    case TRestartKind::OneMCU: return "1mcu";
    case TRestartKind::FourMCUs: return "4mcu";
    case TRestartKind::OneRow: return "1row";
  }
  return "?";
}

struct TDamageCase {
  const char* Tag;    // in file names
  const char* Label;  // in the table
  bool Two;
  TDamageKind Kind;
  size_t Clusters;
};
constexpr TDamageCase kDamage[] = {
    {"zero", "zero 4 KiB", false, TDamageKind::Zero, 1},
    {"replace", "replace 8 KiB", false, TDamageKind::Replace, 2},
    {"delete", "delete 4 KiB", false, TDamageKind::Delete, 1},
    {"insert", "insert 4 KiB", false, TDamageKind::Insert, 1},
    {"flip", "flip a bit", false, TDamageKind::FlipBit, 1},
    {"two", "two places", true, TDamageKind::Zero, 1},
};
// The pairs of the two-place files, taken in turn by seed.
constexpr TDamageKind kPairs[][2] = {{TDamageKind::Zero, TDamageKind::Replace},
                                     {TDamageKind::Delete, TDamageKind::Insert},
                                     {TDamageKind::Replace, TDamageKind::FlipBit},
                                     {TDamageKind::Insert, TDamageKind::Zero}};

// The photos: camera sizes, qualities and samplings in turn; some with an Orientation tag and a
// thumbnail a camera stored turned.
std::vector<TPhoto> PhotoSet(int count) {
  struct TSize {
    int W, H;
  };
  constexpr TSize sizes[] = {{2048, 1536}, {2592, 1944}, {3648, 2736}, {3264, 2448}, {3000, 2000}};
  constexpr int qualities[] = {92, 95, 90, 93, 94};
  std::vector<TPhoto> photos;
  for (int i = 0; i < count; ++i) {
    TPhoto p;
    p.Name = "p" + std::to_string(i + 1);
    auto& o = p.Options;
    o.Width = sizes[i % 5].W;
    o.Height = sizes[i % 5].H;
    o.Quality = qualities[i % 5];
    o.Sample422 = i % 2 == 1;
    o.Seed = 1000u + static_cast<uint32_t>(i);
    o.Thumbnail = true;
    if (i % 3 == 1) o.ExifOrientation = 6;  // held upright: the data and its preview stay as the sensor saw them
    if (i % 3 == 2) o.ThumbTurn = 7;        // the main image turned, its preview not
    photos.push_back(p);
  }
  return photos;
}

// The photo in one restart variant, made once into the photo folder.
Bytes PhotoFile(const TSettings& s, const TPhoto& photo, TRestartKind variant) {
  const fs::path dir = fs::path(s.Dir) / ("photos-" + std::to_string(kPhotoRecipe));
  const fs::path path = dir / (photo.Name + "-" + VariantTag(variant) + ".jpg");
  if (fs::exists(path) && fs::file_size(path) > 0) return vt::test::ReadBytes(path.string());
  fs::create_directories(dir);
  vt::test::TCameraPhotoOptions o = photo.Options;
  o.Restart = variant;
  std::fprintf(stderr, "making %s (%dx%d, q%d, %s, restart %s)\n", path.string().c_str(), o.Width, o.Height, o.Quality,
               o.Sample422 ? "4:2:2" : "4:2:0", vt::test::RestartKindName(variant));
  const Bytes jpeg = vt::test::CameraPhoto(o);
  vt::test::WriteBytes(path.string() + ".tmp", jpeg);
  fs::rename(path.string() + ".tmp", path);
  return jpeg;
}

std::string FileName(const std::string& photoName, const TDamageCase& d, int seed) {
  return photoName + "-" + d.Tag + "-s" + std::to_string(seed);
}

// Whether --only keeps some damaged file of the photo.
bool AnyWanted(const TSettings& s, const std::string& photoName) {
  if (s.Only.empty()) return true;
  for (const TDamageCase& d : kDamage)
    for (int seed = 1; seed <= s.Seeds; ++seed)
      if (FileName(photoName, d, seed).find(s.Only) != std::string::npos) return true;
  return false;
}

struct TCell {
  int Files = 0;
  vt::test::TMcuScore Ours, Libjpeg;
};

std::string Percent(const vt::test::TMcuTally& t, int64_t part) {
  char buf[32];
  if (t.Total() == 0) return "-";
  std::snprintf(buf, sizeof buf, "%.1f", 100.0 * double(part) / double(t.Total()));
  return buf;
}

void PrintRow(const std::string& restart, const std::string& damage, const TCell& c) {
  std::printf("%-8s %-16s %5d %10s %10s %12s %12s %9lld\n", restart.c_str(), damage.c_str(), c.Files,
              Percent(c.Ours.OfRecoverable, c.Ours.OfRecoverable.Right).c_str(), Percent(c.Ours.All, c.Ours.All.Wrong).c_str(),
              Percent(c.Libjpeg.OfRecoverable, c.Libjpeg.OfRecoverable.Right).c_str(),
              Percent(c.Libjpeg.All, c.Libjpeg.All.Wrong).c_str(), static_cast<long long>(c.Ours.All.Total()));
}

void Add(TCell& to, const TCell& from) {
  to.Files += from.Files;
  to.Ours += from.Ours;
  to.Libjpeg += from.Libjpeg;
}

[[noreturn]] void Usage(const std::string& why) {
  std::fprintf(stderr,
               "%s\nusage: realign_bench [--dir DIR] [--photos N] [--seeds N] [--repair none|auto] [--list]\n"
               "                     [--only TEXT] [--save DIR] [--tile-mean X] [--pixel-max N]\n",
               why.c_str());
  std::exit(2);
}

int Number(const std::string& option, const char* value, int low) {
  char* end = nullptr;
  const long v = std::strtol(value, &end, 10);
  if (end == value || *end != 0 || v < low || v > 1000000) Usage(option + ": expected a number of at least " + std::to_string(low));
  return static_cast<int>(v);
}

TSettings ParseArguments(int argc, char** argv) {
  TSettings s;
  if (const char* e = std::getenv("VT_REALIGN_PHOTOS"); e && *e) s.Photos = Number("VT_REALIGN_PHOTOS", e, 1);
  if (const char* e = std::getenv("VT_REALIGN_SEEDS"); e && *e) s.Seeds = Number("VT_REALIGN_SEEDS", e, 1);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--dir") s.Dir = value();
    else if (a == "--photos") s.Photos = Number(a, value(), 1);
    else if (a == "--seeds") s.Seeds = Number(a, value(), 1);
    else if (a == "--list") s.List = true;
    else if (a == "--only") s.Only = value();
    else if (a == "--save") s.SaveDir = value();
    else if (a == "--repair") s.Repair = value();
    else if (a == "--tile-mean") s.Tolerance.TileMean = std::atof(value());
    else if (a == "--pixel-max") s.Tolerance.PixelMax = Number(a, value(), 0);
    else Usage("unknown argument " + a);
  }
  if (s.Repair != "none" && s.Repair != "auto") Usage("--repair: none or auto");
  // Five pictures of a few MB each per file: for the files --only chooses, not for the whole set.
  if (!s.SaveDir.empty() && s.Only.empty()) Usage("--save needs --only");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const TSettings s = ParseArguments(argc, argv);
  vt::bench::TRealignOpenOptions open;
  if (!vt::bench::RepairHooks(s.Repair, open)) {
    std::fprintf(stderr, "--repair %s: the engine does not offer it yet (wired in bench/realign_open.cpp, RepairHooks)\n",
                 s.Repair.c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const fs::path work = fs::path(s.Dir) / "work";
  fs::create_directories(work);
  ::setenv("VT_TEST_TMP", (work / "tmp").c_str(), 1);  // where the photo maker's temporary files go
  if (!s.SaveDir.empty()) fs::create_directories(s.SaveDir);

  const std::vector<TPhoto> photos = PhotoSet(s.Photos);
  std::map<std::pair<int, int>, TCell> cells;  // (variant, damage case)
  int files = 0;
  for (size_t pi = 0; pi < photos.size(); ++pi) {
    for (int vi = 0; vi < 4; ++vi) {
      const TRestartKind variant = kVariants[vi];
      const std::string photoName = photos[pi].Name + "-" + VariantTag(variant);
      if (!AnyWanted(s, photoName)) continue;
      const Bytes intact = PhotoFile(s, photos[pi], variant);
      // Foreign data comes from another photo of the same camera settings.
      const Bytes donor = PhotoFile(s, photos[(pi + 1) % photos.size()], variant);
      const vt::test::TMcuScorer scorer(intact, s.Tolerance);
      for (int di = 0; di < static_cast<int>(std::size(kDamage)); ++di) {
        const TDamageCase& d = kDamage[di];
        for (int seed = 1; seed <= s.Seeds; ++seed) {
          const std::string name = FileName(photoName, d, seed);
          if (!s.Only.empty() && name.find(s.Only) == std::string::npos) continue;
          const uint32_t placeSeed = uint32_t(seed) * 7919u + uint32_t(pi) * 104729u + uint32_t(di) * 31u + uint32_t(vi);
          vt::test::TDamaged damaged;
          try {
            const std::vector<vt::test::TDamagePlace> places =
                d.Two ? vt::test::PickTwoPlaces(intact, kPairs[(seed - 1) % 4][0], kPairs[(seed - 1) % 4][1], placeSeed, donor)
                      : std::vector<vt::test::TDamagePlace>{vt::test::PickPlace(intact, d.Kind, placeSeed, d.Clusters, donor)};
            damaged = vt::test::ApplyDamage(intact, places, donor);
          } catch (const std::invalid_argument& e) {
            std::fprintf(stderr, "%s: skipped (%s)\n", name.c_str(), e.what());
            continue;
          }
          const std::string path = (work / (name + ".jpg")).string();
          vt::test::WriteBytes(path, damaged.Data);
          const vt::bench::TShownFile shown(path, open);
          const vt::TBitmap32& ours = shown.Picture();
          fs::remove(path);
          const vt::TBitmap32 peer = scorer.LibjpegPicture(damaged.Data);
          TCell one;
          one.Files = 1;
          one.Ours = scorer.Score(damaged.Damage, ours);
          one.Libjpeg = scorer.ScorePeer(damaged.Damage, peer);
          Add(cells[{vi, di}], one);
          ++files;
          if (s.List)
            std::printf("%-26s %-42s rec %6lld/%6lld  ours %5.1f %5.1f  libjpeg %5.1f %5.1f\n", name.c_str(),
                        damaged.Damage.Text.c_str(), static_cast<long long>(one.Ours.OfRecoverable.Total()),
                        static_cast<long long>(one.Ours.All.Total()), one.Ours.RightOfRecoverable(), one.Ours.WrongOfAll(),
                        one.Libjpeg.RightOfRecoverable(), one.Libjpeg.WrongOfAll());
          if (!s.SaveDir.empty()) vt::test::WriteBytes(s.SaveDir + "/" + name + ".jpg", damaged.Data);
          if (!s.SaveDir.empty() &&
              !vt::bench::SavePictures(s.SaveDir, name, scorer, ours, one.Ours, peer, one.Libjpeg))
            std::fprintf(stderr, "%s: the pictures could not be written to %s\n", name.c_str(), s.SaveDir.c_str());
        }
      }
    }
  }
  fs::remove_all(work);
  if (files == 0) {
    std::fprintf(stderr, "no file was damaged%s\n", s.Only.empty() ? "" : " (nothing matches --only)");
    return 1;
  }

  std::printf("\n%d damaged files: %zu photos x 4 restart variants x %zu damage kinds x %d seeds; --repair %s\n", files,
              photos.size(), std::size(kDamage), s.Seeds, s.Repair.c_str());
  std::printf("MCUs pooled over the files of each row; an MCU is right when every 8x8 area is within %.2f levels on "
              "average and every pixel within %d of libjpeg's intact picture\n",
              s.Tolerance.TileMean, s.Tolerance.PixelMax);
  std::printf("\n%-8s %-16s %5s %10s %10s %12s %12s %9s\n", "restart", "damage", "files", "ours rec%", "ours wrong%",
              "libjpeg rec%", "libjpeg wrng%", "MCUs");
  TCell marked, unmarked;
  for (int vi = 0; vi < 4; ++vi)
    for (int di = 0; di < static_cast<int>(std::size(kDamage)); ++di) {
      auto it = cells.find({vi, di});
      if (it == cells.end()) continue;
      PrintRow(VariantTag(kVariants[vi]), kDamage[di].Label, it->second);
      Add(vi == 0 ? unmarked : marked, it->second);
    }
  std::printf("\n");
  if (marked.Files) PrintRow("marked", "all damage", marked);
  if (unmarked.Files) PrintRow("none", "all damage", unmarked);
  std::printf("(rec%%: per cent of the recoverable MCUs shown right; wrong%%: per cent of all MCUs shown wrong)\n");
  std::printf("wall time %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}
