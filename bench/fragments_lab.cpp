// A card image as a camera leaves it after seasons of shooting and deleting
// (tests/support/fat_card.h), with camera-like photos (tests/support/camera_photo.h: Exif
// thumbnails, cameras' restart intervals) in 4 KiB clusters: the later photos lie in two or
// more pieces with other photos, the remains of deleted ones and other files' bytes between.
//
//   fragments_lab --dir DIR [--seed N] [--cluster BYTES] [--live N]
//
// Writes DIR/card-SEED.img and DIR/card-SEED/NAME.jpg for each photo left on the card (the
// files a perfect carver gives back), and DIR/card-SEED/list.txt with one line per such photo:
// "NAME PIECES FIRST-LAST ..." (PIECES: the runs of clusters it lies in, then each run's first and
// last cluster). Photos are made once into
// DIR/photos/ and kept. bench/fragments_lab.sh runs the deep scan and PhotoRec on the card.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/camera_photo.h"
#include "support/fat_card.h"

namespace {

namespace fs = std::filesystem;
using vt::test::Bytes;

struct TSettings {
  std::string Dir = "/tmp/vt-bench/frag-lab";
  uint32_t Seed = 1;
  size_t Cluster = 4096;
  int Live = 38;  // photos left on the card at the end
};

Bytes Photo(const TSettings& s, int index) {
  struct TSize {
    int W, H;
  };
  constexpr TSize sizes[] = {{2048, 1536}, {2592, 1944}, {3000, 2000}, {2304, 1728}};
  constexpr vt::test::TRestartKind restarts[] = {vt::test::TRestartKind::None, vt::test::TRestartKind::OneRow,
                                                 vt::test::TRestartKind::None, vt::test::TRestartKind::FourMCUs};
  const fs::path path = fs::path(s.Dir) / "photos" / ("c" + std::to_string(index) + ".jpg");
  if (fs::exists(path) && fs::file_size(path) > 0) return vt::test::ReadBytes(path.string());
  fs::create_directories(path.parent_path());
  vt::test::TCameraPhotoOptions o;
  o.Width = sizes[index % 4].W;
  o.Height = sizes[index % 4].H;
  o.Quality = 90 + index % 6;
  o.Sample422 = index % 5 == 1;
  o.Restart = restarts[(index / 4) % 4];
  o.Seed = 5000u + static_cast<uint32_t>(index);
  o.Thumbnail = true;
  std::fprintf(stderr, "making %s\n", path.string().c_str());
  const Bytes jpeg = vt::test::CameraPhoto(o);
  vt::test::WriteBytes(path.string() + ".tmp", jpeg);
  fs::rename(path.string() + ".tmp", path);
  return jpeg;
}

int Run(const TSettings& s) {
  vt::test::TFatCardOptions o;
  o.Seed = s.Seed;
  o.ClusterBytes = s.Cluster;
  o.LivePhotos = s.Live;
  // A little more room than the photos left on the card at the end take.
  o.Clusters = static_cast<size_t>(s.Live) * 1500 * 1024 / s.Cluster;
  const vt::test::TFatCard card = vt::test::MakeFatCard(o, [&](int i) { return Photo(s, i); });
  const std::string stem = "card-" + std::to_string(s.Seed);
  const fs::path out = fs::path(s.Dir) / stem;
  fs::remove_all(out);
  fs::create_directories(out);
  vt::test::WriteBytes((fs::path(s.Dir) / (stem + ".img")).string(), card.Image);
  std::ofstream list(out / "list.txt");
  int fragmented = 0;
  for (const vt::test::TFatCardPhoto& f : card.Photos) {
    const std::string name = "c" + std::to_string(f.Index);
    vt::test::WriteBytes((out / (name + ".jpg")).string(), f.Data);
    list << name << ' ' << f.Pieces();
    for (size_t k = 0; k < f.Clusters.size(); ++k) {
      const bool starts = k == 0 || f.Clusters[k] != f.Clusters[k - 1] + 1;
      const bool ends = k + 1 == f.Clusters.size() || f.Clusters[k + 1] != f.Clusters[k] + 1;
      if (starts) list << ' ' << f.Clusters[k];
      if (ends) list << '-' << f.Clusters[k];
    }
    list << '\n';
    if (f.Pieces() > 1) ++fragmented;
  }
  std::fprintf(stderr, "%s: %zu clusters, %zu photos on it, %d of them fragmented\n", stem.c_str(), o.Clusters,
               card.Photos.size(), fragmented);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TSettings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--dir") s.Dir = argv[i + 1];
    else if (a == "--seed") s.Seed = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    else if (a == "--cluster") s.Cluster = static_cast<size_t>(std::atoll(argv[i + 1]));
    else if (a == "--live") s.Live = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: fragments_lab --dir DIR [--seed N] [--cluster BYTES] [--live N]\n");
      return 2;
    }
  }
  try {
    return Run(s);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fragments_lab: %s\n", e.what());
    return 1;
  }
}
