// The folder tree the disc source files its items in: "All", "Size" (Large, Middle, Small),
// "Camera" (one sub-folder per camera, case-insensitive, "Undefined" last), "Date" (one per
// year, "Undefined" last), "Broken" and "SOS marker". Folders own their sub-folders and hold
// one count on each item they list.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "source/items.h"

namespace vt {

class EFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TvtFolder {
 public:
  TvtFolder(TvtFolder* parent, std::string name);
  // Clears, then leaves the parent's SubFolders.
  virtual ~TvtFolder();
  TvtFolder(const TvtFolder&) = delete;
  TvtFolder& operator=(const TvtFolder&) = delete;

  // Creates a folder of class T as a child of parent, placed by parent's InsertSubFolder
  // (raises, creating nothing, when a sorted parent already has that name or year).
  template <class T, class... Args>
  static T* Create(TvtFolder* parent, Args&&... args) {
    T* folder = new T(parent, std::forward<Args>(args)...);
    folder->Attach();
    return folder;
  }

  // Releases every item and frees every sub-folder, last to first.
  virtual void Clear();
  // Frees, bottom up, every sub-folder left with no items and no sub-folders.
  void Pack();
  // Lists item (placed by InsertItem) and takes a count on it.
  void AddItem(TvtItem* item);
  // Unlists item and releases the folder's count on it; false when the folder does not list it.
  bool RemoveItem(TvtItem* item);

  int32_t SubFolderCount() const { return static_cast<int32_t>(subFolders_.size()); }
  int32_t ItemCount() const { return static_cast<int32_t>(items_.size()); }
  TvtFolder* GetSubFolder(int32_t index) const { return subFolders_.at(static_cast<size_t>(index)); }
  TvtItem* GetItem(int32_t index) const { return items_.at(static_cast<size_t>(index)); }
  const std::vector<TvtFolder*>& SubFolders() const { return subFolders_; }
  const std::vector<TvtItem*>& Items() const { return items_; }
  // "Size/Large", "Camera/Canon - EOS", ...: the names from below the root down to this folder.
  std::string Path() const;

  TvtFolder* Parent;
  std::string Name;

 protected:
  // Ordered by SortOffset; an equal key goes before the equal one.
  virtual void InsertItem(TvtItem* item);
  // Appends.
  virtual void InsertSubFolder(TvtFolder* folder);
  virtual int CompareFolders(const TvtFolder* existing, const TvtFolder* added) const;
  // Told of every folder below this one that is being freed.
  virtual void DescendantFreed(TvtFolder*) {}

  // Binary search insertion by key: before the first equal key, else at the insertion point.
  template <class Key>
  void InsertItemBy(TvtItem* item, Key key);

  std::vector<TvtFolder*> subFolders_;
  std::vector<TvtItem*> items_;

 private:
  void Attach();
};

class TvtUndefinedFolder : public TvtFolder {
 public:
  using TvtFolder::TvtFolder;
};

// Keeps its sub-folders ordered by CompareFolders, with the "Undefined" folder always last.
class TvtSortedFolder : public TvtFolder {
 public:
  using TvtFolder::TvtFolder;
  TvtUndefinedFolder* GetUndefinedFolder();
  TvtUndefinedFolder* UndefinedFolder = nullptr;

 protected:
  void InsertSubFolder(TvtFolder* folder) override;
  int CompareFolders(const TvtFolder* existing, const TvtFolder* added) const override;
  void DescendantFreed(TvtFolder* folder) override;
  // Binary search over the sorted part: index of the match (found) or the insertion point.
  template <class Compare>
  size_t Search(Compare compareAtMid, bool& found) const;
};

// Sub-folders by name: case-insensitive, in the user's locale's order.
class TvtAlphaSortedFolder : public TvtSortedFolder {
 public:
  using TvtSortedFolder::TvtSortedFolder;
  // The sub-folder of that name, created when missing.
  TvtFolder* GetSubFolderByName(const std::string& name);

 protected:
  int CompareFolders(const TvtFolder* existing, const TvtFolder* added) const override;
};

class TvtYearFolder;

// Sub-folders by year.
class TvtYearSortedFolder : public TvtSortedFolder {
 public:
  using TvtSortedFolder::TvtSortedFolder;
  TvtYearFolder* GetSubFolderByYear(int32_t year);

 protected:
  int CompareFolders(const TvtFolder* existing, const TvtFolder* added) const override;
};

// Items ordered by Date.
class TvtDateSortedFolder : public TvtFolder {
 public:
  using TvtFolder::TvtFolder;

 protected:
  void InsertItem(TvtItem* item) override;
};

class TvtYearFolder : public TvtDateSortedFolder {
 public:
  TvtYearFolder(TvtFolder* parent, int32_t year) : TvtDateSortedFolder(parent, std::to_string(year)), Year(year) {}
  int32_t Year;
};

// Items in the order added.
class TvtSOSFolder : public TvtFolder {
 public:
  using TvtFolder::TvtFolder;

 protected:
  void InsertItem(TvtItem* item) override;
};

// The size classes of the "Size" folder: at least 1024 x 768 pixels is large, fewer than
// 320 x 240 small (a thumbnail or a small embedded preview), the rest middle.
enum class TvtSizeClass { Small, Middle, Large };
TvtSizeClass SizeClassOf(int32_t width, int32_t height);

class TvtRootFolder : public TvtFolder {
 public:
  TvtRootFolder() : TvtFolder(nullptr, "") {}
  ~TvtRootFolder() override;

  // Creates the nine fixed folders.
  void Build();
  // Files item under All, its size class, its camera and its year.
  void AddItem(TvtItem* item);

  TvtFolder* All = nullptr;
  TvtFolder* Size = nullptr;
  TvtFolder* Large = nullptr;
  TvtFolder* Middle = nullptr;
  TvtFolder* Small = nullptr;
  TvtAlphaSortedFolder* Camera = nullptr;
  TvtYearSortedFolder* Date = nullptr;
  TvtFolder* Broken = nullptr;
  TvtFolder* SOSMarker = nullptr;

 protected:
  void DescendantFreed(TvtFolder* folder) override;
};

// Camera names compared case-insensitively in the user's locale (by code point when the
// locale cannot be had): below 0, 0 or above 0.
int CompareCameraNames(const std::string& a, const std::string& b);
// The calendar year of a date (days since 1899-12-30).
int32_t YearOfDate(double date);

}  // namespace vt
