#include "viewer/folder_browse.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vt {

namespace {

namespace fs = std::filesystem;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// -1, 0 or 1 as a reads before, like or after b, case and leading zeros aside.
int CompareAsRead(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      size_t ei = i, ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      // A longer run of significant digits is the larger number; runs as long compare digit by digit.
      if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
      for (; i < ei; ++i, ++j)
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      continue;
    }
    const unsigned char ca = static_cast<unsigned char>(Lower(a[i])), cb = static_cast<unsigned char>(Lower(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

bool HasJpegExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = Lower(c);
  return ext == "jpg" || ext == "jpeg" || ext == "jpe" || ext == "jfif";
}

bool NameLess(const std::string& a, const std::string& b) {
  const int c = CompareAsRead(a, b);
  return c != 0 ? c < 0 : a < b;
}

std::vector<std::string> FolderJpegNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || !HasJpegExtension(name)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;  // a folder named "x.jpg", a pipe, a broken link
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

std::string NeighbourName(const std::vector<std::string>& names, const std::string& current, int step) {
  if (step > 0) {
    const auto after = std::upper_bound(names.begin(), names.end(), current, NameLess);
    return after == names.end() ? std::string() : *after;
  }
  if (step < 0) {
    const auto at = std::lower_bound(names.begin(), names.end(), current, NameLess);
    return at == names.begin() ? std::string() : *(at - 1);
  }
  return {};
}

void TvtFolderBrowse::Refresh(const std::string& path) {
  path_ = path;
  folder_ = path.empty() ? std::string() : fs::path(path).parent_path().string();
  names_ = path.empty() ? std::vector<std::string>() : FolderJpegNames(folder_);
}

std::string TvtFolderBrowse::Neighbour(int step) const {
  if (path_.empty()) return {};
  const std::string name = NeighbourName(names_, fs::path(path_).filename().string(), step);
  if (name.empty()) return {};
  return folder_.empty() ? name : (fs::path(folder_) / name).string();
}

std::string UnsavedEditsQuestion(const std::string& fileName) {
  const std::string name = fs::path(fileName).filename().string();
  return "The repairs of " + (name.empty() ? std::string("the picture") : name) +
         " are not saved.\n\nSave a restored copy with them first? (No drops them.)";
}

}  // namespace vt
