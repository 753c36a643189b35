// A card image as a camera leaves it after a season of shooting and deleting: camera-like
// photos (tests/support/camera_photo.h: Exif thumbnails, cameras' restart intervals) and other
// files (clips of high-entropy data with every byte value, text) written into 4 KiB clusters
// the way a FAT file system allocates them (the first free clusters from the start of the
// card), some of them deleted again (their clusters freed, their bytes left), and more photos
// written into the holes, so that the later photos lie in two or three pieces with other
// photos, the remains of deleted ones and other files' bytes between the pieces.
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
#include <random>
#include <string>
#include <vector>

#include "support/camera_photo.h"

namespace {

namespace fs = std::filesystem;
using vt::test::Bytes;

struct TSettings {
  std::string Dir = "/tmp/vt-bench/frag-lab";
  uint32_t Seed = 1;
  size_t Cluster = 4096;
  int Live = 38;  // photos left on the card at the end
};

struct TFile {
  std::string Name;
  Bytes Data;
  bool Photo = false;
  std::vector<size_t> Clusters;  // in file order
  bool Deleted = false;
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

// Another file's bytes: a clip's high-entropy data (every byte value, so FF pairs that look like
// markers too) or a text file.
Bytes OtherFile(std::mt19937& rng, size_t size) {
  Bytes b(size);
  if (rng() % 3 == 0) {
    const char* words[] = {"DCIM ", "100CANON ", "settings=", "0x1f ", "\n", "frame ", "gain 12 ", "iso=400 "};
    size_t i = 0;
    while (i < size)
      for (const char* w = words[rng() % 8]; *w && i < size; ++w) b[i++] = static_cast<uint8_t>(*w);
  } else {
    for (auto& v : b) v = static_cast<uint8_t>(rng());
  }
  return b;
}

class TCard {
 public:
  TCard(size_t clusters, size_t clusterBytes) : used_(clusters, -1), bytes_(clusters * clusterBytes, 0), cluster_(clusterBytes) {}

  // Writes the file into the first free clusters; false when the card is full.
  bool Write(TFile& f, int id) {
    const size_t need = (f.Data.size() + cluster_ - 1) / cluster_;
    std::vector<size_t> got;
    for (size_t c = 0; c < used_.size() && got.size() < need; ++c)
      if (used_[c] < 0) got.push_back(c);
    if (got.size() < need) return false;
    for (size_t k = 0; k < got.size(); ++k) {
      used_[got[k]] = id;
      const size_t from = k * cluster_;
      const size_t n = std::min(cluster_, f.Data.size() - from);
      std::copy_n(f.Data.begin() + static_cast<long>(from), n, bytes_.begin() + static_cast<long>(got[k] * cluster_));
      // A file's last cluster keeps what the card held after the file's end (slack).
    }
    f.Clusters = got;
    return true;
  }
  void Delete(TFile& f) {
    for (size_t c : f.Clusters) used_[c] = -1;
    f.Deleted = true;
  }
  const Bytes& Bytes_() const { return bytes_; }

 private:
  std::vector<int> used_;
  Bytes bytes_;
  size_t cluster_;
};

int Pieces(const TFile& f) {
  int n = f.Clusters.empty() ? 0 : 1;
  for (size_t k = 1; k < f.Clusters.size(); ++k)
    if (f.Clusters[k] != f.Clusters[k - 1] + 1) ++n;
  return n;
}

int Run(const TSettings& s) {
  std::mt19937 rng(s.Seed);
  std::vector<TFile> files;
  int nextPhoto = 0;
  auto newPhoto = [&] {
    TFile f;
    f.Name = "c" + std::to_string(nextPhoto);
    f.Data = Photo(s, nextPhoto++);
    f.Photo = true;
    return f;
  };
  // The card: a little more room than the photos left on it at the end take.
  const size_t clusters = static_cast<size_t>(s.Live) * 1500 * 1024 / s.Cluster;
  TCard card(clusters, s.Cluster);
  // A first season: photos with now and then another file, until the card is full.
  for (;;) {
    TFile f = rng() % 6 == 0 ? TFile{"other", OtherFile(rng, 64 * 1024 + rng() % (1 << 20)), false, {}, false} : newPhoto();
    if (!card.Write(f, static_cast<int>(files.size()))) break;
    files.push_back(std::move(f));
  }
  // Seasons of deleting a few files and shooting until the card is full again: the new files
  // fill the holes first.
  auto live = [&] {
    return static_cast<int>(std::count_if(files.begin(), files.end(), [](const TFile& f) { return f.Photo && !f.Deleted; }));
  };
  auto deleteOne = [&](bool photosOnly) {
    std::vector<size_t> alive;
    for (size_t i = 0; i < files.size(); ++i)
      if (!files[i].Deleted && (files[i].Photo || !photosOnly)) alive.push_back(i);
    if (!alive.empty()) card.Delete(files[alive[rng() % alive.size()]]);
  };
  for (int round = 0; round < 10; ++round) {
    const int deletions = 2 + static_cast<int>(rng() % 4);
    for (int d = 0; d < deletions; ++d) deleteOne(false);
    for (;;) {
      TFile f = rng() % 8 == 0 ? TFile{"other", OtherFile(rng, 32 * 1024 + rng() % (512 * 1024)), false, {}, false} : newPhoto();
      if (!card.Write(f, static_cast<int>(files.size()))) {
        if (f.Photo) --nextPhoto;  // not on the card: the next photo made takes its place
        break;
      }
      files.push_back(std::move(f));
    }
  }
  while (live() > s.Live) deleteOne(true);
  const std::string stem = "card-" + std::to_string(s.Seed);
  const fs::path out = fs::path(s.Dir) / stem;
  fs::remove_all(out);
  fs::create_directories(out);
  vt::test::WriteBytes((fs::path(s.Dir) / (stem + ".img")).string(), card.Bytes_());
  std::ofstream list(out / "list.txt");
  int fragmented = 0, count = 0;
  for (const TFile& f : files) {
    if (!f.Photo || f.Deleted) continue;
    vt::test::WriteBytes((out / (f.Name + ".jpg")).string(), f.Data);
    list << f.Name << ' ' << Pieces(f);
    for (size_t k = 0; k < f.Clusters.size(); ++k) {
      const bool starts = k == 0 || f.Clusters[k] != f.Clusters[k - 1] + 1;
      const bool ends = k + 1 == f.Clusters.size() || f.Clusters[k + 1] != f.Clusters[k] + 1;
      if (starts) list << ' ' << f.Clusters[k];
      if (ends) list << '-' << f.Clusters[k];
    }
    list << '\n';
    ++count;
    if (Pieces(f) > 1) ++fragmented;
  }
  std::fprintf(stderr, "%s: %zu clusters, %d photos on it, %d of them fragmented\n", stem.c_str(), clusters, count,
               fragmented);
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
