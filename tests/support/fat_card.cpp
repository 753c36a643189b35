#include "support/fat_card.h"

#include <algorithm>
#include <random>

namespace vt::test {

namespace {

struct TFile {
  TFatCardPhoto Photo;
  bool IsPhoto = false;
  bool Deleted = false;
};

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

class TAllocator {
 public:
  TAllocator(size_t clusters, size_t clusterBytes) : used_(clusters, false), image_(clusters * clusterBytes, 0), cluster_(clusterBytes) {}

  // Writes the file into the first free clusters; false when the card is full. A file's last
  // cluster keeps what the card held after the file's end.
  bool Write(TFatCardPhoto& f) {
    const size_t need = (f.Data.size() + cluster_ - 1) / cluster_;
    std::vector<size_t> got;
    for (size_t c = 0; c < used_.size() && got.size() < need; ++c)
      if (!used_[c]) got.push_back(c);
    if (got.size() < need) return false;
    for (size_t k = 0; k < got.size(); ++k) {
      used_[got[k]] = true;
      const size_t from = k * cluster_;
      const size_t n = std::min(cluster_, f.Data.size() - from);
      std::copy_n(f.Data.begin() + static_cast<long>(from), n, image_.begin() + static_cast<long>(got[k] * cluster_));
    }
    f.Clusters = got;
    return true;
  }
  void Delete(TFile& f) {
    for (size_t c : f.Photo.Clusters) used_[c] = false;
    f.Deleted = true;
  }
  Bytes Take() { return std::move(image_); }

 private:
  std::vector<bool> used_;
  Bytes image_;
  size_t cluster_;
};

}  // namespace

int TFatCardPhoto::Pieces() const {
  int n = Clusters.empty() ? 0 : 1;
  for (size_t k = 1; k < Clusters.size(); ++k)
    if (Clusters[k] != Clusters[k - 1] + 1) ++n;
  return n;
}

TFatCard MakeFatCard(const TFatCardOptions& o, const std::function<Bytes(int)>& photo) {
  std::mt19937 rng(o.Seed);
  std::vector<TFile> files;
  TAllocator card(o.Clusters, o.ClusterBytes);
  int next = 0;
  // Photos, now and then another file (one in `every`), until the card is full.
  auto shoot = [&](unsigned every, size_t otherMin) {
    for (;;) {
      TFile f;
      if (rng() % every == 0) {
        f.Photo.Data = OtherFile(rng, otherMin + rng() % o.OtherBytes);
      } else {
        f.IsPhoto = true;
        f.Photo.Index = next;
        f.Photo.Data = photo(next);
      }
      if (!card.Write(f.Photo)) return;  // not on the card: the next photo takes its number
      if (f.IsPhoto) ++next;
      files.push_back(std::move(f));
    }
  };
  auto deleteOne = [&](bool photosOnly) {
    std::vector<size_t> alive;
    for (size_t i = 0; i < files.size(); ++i)
      if (!files[i].Deleted && (files[i].IsPhoto || !photosOnly)) alive.push_back(i);
    if (!alive.empty()) card.Delete(files[alive[rng() % alive.size()]]);
  };
  auto live = [&] {
    return static_cast<int>(std::count_if(files.begin(), files.end(), [](const TFile& f) { return f.IsPhoto && !f.Deleted; }));
  };
  shoot(6, o.OtherBytes / 16);
  for (int season = 0; season < o.Seasons; ++season) {
    const int deletions = 2 + static_cast<int>(rng() % 4);
    for (int d = 0; d < deletions; ++d) deleteOne(false);
    shoot(8, o.OtherBytes / 32);
  }
  while (live() > o.LivePhotos) deleteOne(true);
  TFatCard out;
  out.Image = card.Take();
  for (TFile& f : files)
    if (f.IsPhoto && !f.Deleted) out.Photos.push_back(std::move(f.Photo));
  return out;
}

}  // namespace vt::test
