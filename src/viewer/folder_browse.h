// Working through a folder of photos: the JPEG files beside the one shown, in the order a photo
// viewer lists them, and the one after or before it. Files are JPEGs by their extension (.jpg,
// .jpeg, .jpe, .jfif in any case); hidden files and folders are left out. Names sort as people
// read them: without regard to case, and runs of digits by their value, so that a recovery
// tool's "f9.jpg" comes before "f10.jpg". Browsing stops at either end of the folder rather
// than starting over, so the last photo is plainly the last. Engine code: no Qt here.
#pragma once

#include <string>
#include <vector>

namespace vt {

bool HasJpegExtension(const std::string& name);

// The name order (a strict total order: names that read the same, "F1" and "f01", fall back
// to their bytes).
bool NameLess(const std::string& a, const std::string& b);

// The names of the JPEG files in folder, in name order; empty when it cannot be read.
std::vector<std::string> FolderJpegNames(const std::string& folder);

// The name that comes after current (step > 0) or before it (step < 0) in names (sorted by
// NameLess); current need not be among them (a file of another type, or one deleted since).
// Empty at the end of the list.
std::string NeighbourName(const std::vector<std::string>& names, const std::string& current, int step);

// The question asked before edits of the picture shown in fileName are dropped (by opening
// another file or closing): answered Yes they are saved first, No they go, Cancel keeps them.
std::string UnsavedEditsQuestion(const std::string& fileName);

// The folder's JPEGs around the file shown, listed once per file and folder change.
class TvtFolderBrowse {
 public:
  // Lists the folder of path again (the files may have changed) and remembers path.
  void Refresh(const std::string& path);
  // The path of the next (step > 0) or previous (step < 0) JPEG beside the remembered file, or
  // empty.
  std::string Neighbour(int step) const;
  const std::string& Path() const { return path_; }
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::string path_, folder_;
  std::vector<std::string> names_;
};

}  // namespace vt
