#include "source/folders.h"

#include <algorithm>
#include <cmath>

namespace vt {

TvtFolder::TvtFolder(TvtFolder* parent, std::string name) : Parent(parent), Name(std::move(name)) {}

void TvtFolder::Attach() {
  if (!Parent) return;
  try {
    Parent->InsertSubFolder(this);
  } catch (...) {
    Parent = nullptr;
    delete this;
    throw;
  }
}

TvtFolder::~TvtFolder() {
  TvtFolder::Clear();
  for (TvtFolder* p = Parent; p; p = p->Parent) p->DescendantFreed(this);
  if (Parent) {
    auto& list = Parent->subFolders_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TvtFolder::Clear() {
  while (!items_.empty()) {
    TvtItem* item = items_.back();
    items_.pop_back();
    item->Release();
  }
  while (!subFolders_.empty()) delete subFolders_.back();  // each leaves the list itself
}

void TvtFolder::Pack() {
  for (size_t i = subFolders_.size(); i-- > 0;) {
    TvtFolder* sub = subFolders_[i];
    sub->Pack();
    if (sub->items_.empty() && sub->subFolders_.empty()) delete sub;
  }
}

void TvtFolder::AddItem(TvtItem* item) {
  InsertItem(item);
  item->AddRef();
}

bool TvtFolder::RemoveItem(TvtItem* item) {
  const auto at = std::find(items_.begin(), items_.end(), item);
  if (at == items_.end()) return false;
  items_.erase(at);
  item->Release();
  return true;
}

std::string TvtFolder::Path() const {
  if (!Parent) return "";
  const std::string above = Parent->Path();
  return above.empty() ? Name : above + "/" + Name;
}

template <class Key>
void TvtFolder::InsertItemBy(TvtItem* item, Key key) {
  int64_t lo = 0, hi = static_cast<int64_t>(items_.size()) - 1;
  const auto k = key(item);
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const auto m = key(items_[static_cast<size_t>(mid)]);
    if (m < k) {
      lo = mid + 1;
    } else if (m == k) {
      lo = mid;
      break;
    } else {
      hi = mid - 1;
    }
  }
  items_.insert(items_.begin() + lo, item);
}

void TvtFolder::InsertItem(TvtItem* item) {
  InsertItemBy(item, [](const TvtItem* i) { return i->SortOffset; });
}

void TvtFolder::InsertSubFolder(TvtFolder* folder) { subFolders_.push_back(folder); }

int TvtFolder::CompareFolders(const TvtFolder*, const TvtFolder*) const { return 1; }

void TvtDateSortedFolder::InsertItem(TvtItem* item) {
  InsertItemBy(item, [](const TvtItem* i) { return i->Date; });
}

void TvtSOSFolder::InsertItem(TvtItem* item) { items_.push_back(item); }

// ---- sorted folders ----

template <class Compare>
size_t TvtSortedFolder::Search(Compare compareAtMid, bool& found) const {
  found = false;
  int64_t count = static_cast<int64_t>(subFolders_.size());
  if (UndefinedFolder && count > 0) --count;  // the undefined folder is always the last one
  int64_t lo = 0, hi = count - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const int c = compareAtMid(subFolders_[static_cast<size_t>(mid)]);
    if (c < 0) {
      lo = mid + 1;
    } else if (c > 0) {
      hi = mid - 1;
    } else {
      found = true;
      return static_cast<size_t>(mid);
    }
  }
  return static_cast<size_t>(lo);
}

void TvtSortedFolder::InsertSubFolder(TvtFolder* folder) {
  if (dynamic_cast<TvtUndefinedFolder*>(folder)) {
    subFolders_.push_back(folder);
    return;
  }
  bool found = false;
  const size_t at = Search([&](const TvtFolder* mid) { return CompareFolders(mid, folder); }, found);
  if (found) throw EFolderError("Folder " + folder->Name + " already exist");
  subFolders_.insert(subFolders_.begin() + static_cast<int64_t>(at), folder);
}

int TvtSortedFolder::CompareFolders(const TvtFolder*, const TvtFolder*) const { return 1; }

TvtUndefinedFolder* TvtSortedFolder::GetUndefinedFolder() {
  if (!UndefinedFolder) UndefinedFolder = TvtFolder::Create<TvtUndefinedFolder>(this, "Undefined");
  return UndefinedFolder;
}

void TvtSortedFolder::DescendantFreed(TvtFolder* folder) {
  if (folder == UndefinedFolder) UndefinedFolder = nullptr;
}

int TvtAlphaSortedFolder::CompareFolders(const TvtFolder* existing, const TvtFolder* added) const {
  return CompareCameraNames(existing->Name, added->Name);
}

TvtFolder* TvtAlphaSortedFolder::GetSubFolderByName(const std::string& name) {
  bool found = false;
  const size_t at = Search([&](const TvtFolder* mid) { return CompareCameraNames(mid->Name, name); }, found);
  if (found) return subFolders_[at];
  return TvtFolder::Create<TvtFolder>(this, name);
}

namespace {
int32_t yearOf(const TvtFolder* f) {
  const auto* y = dynamic_cast<const TvtYearFolder*>(f);
  return y ? y->Year : 0;
}
int compareYears(int32_t a, int32_t b) { return a < b ? -1 : a > b ? 1 : 0; }
}  // namespace

int TvtYearSortedFolder::CompareFolders(const TvtFolder* existing, const TvtFolder* added) const {
  return compareYears(yearOf(existing), yearOf(added));
}

TvtYearFolder* TvtYearSortedFolder::GetSubFolderByYear(int32_t year) {
  bool found = false;
  const size_t at = Search([&](const TvtFolder* mid) { return compareYears(yearOf(mid), year); }, found);
  if (found) return static_cast<TvtYearFolder*>(subFolders_[at]);
  return TvtFolder::Create<TvtYearFolder>(this, year);
}

// ---- root ----

TvtRootFolder::~TvtRootFolder() { Clear(); }

void TvtRootFolder::Build() {
  All = Create<TvtFolder>(this, "All");
  Size = Create<TvtFolder>(this, "Size");
  Large = Create<TvtFolder>(Size, "Large");
  Middle = Create<TvtFolder>(Size, "Middle");
  Small = Create<TvtFolder>(Size, "Small");
  Camera = Create<TvtAlphaSortedFolder>(this, "Camera");
  Date = Create<TvtYearSortedFolder>(this, "Date");
  Broken = Create<TvtFolder>(this, "Broken");
  SOSMarker = Create<TvtFolder>(this, "SOS marker");
}

TvtSizeClass SizeClassOf(int32_t width, int32_t height) {
  // 64-bit product: a picture too large for 32 bits is simply large.
  const int64_t pixels = static_cast<int64_t>(std::max(width, 0)) * std::max(height, 0);
  return pixels >= 1024 * 768 ? TvtSizeClass::Large : pixels < 320 * 240 ? TvtSizeClass::Small : TvtSizeClass::Middle;
}

void TvtRootFolder::AddItem(TvtItem* item) {
  if (!All) Build();
  All->AddItem(item);
  const TvtSizeClass size = SizeClassOf(item->Width, item->Height);
  TvtFolder* sizeClass = size == TvtSizeClass::Large ? Large : size == TvtSizeClass::Small ? Small : Middle;
  if (sizeClass) sizeClass->AddItem(item);
  if (Camera) {
    TvtFolder* f = item->Camera.empty() ? Camera->GetUndefinedFolder() : Camera->GetSubFolderByName(item->Camera);
    f->AddItem(item);
  }
  if (Date) {
    TvtFolder* f = item->Date != 0 ? static_cast<TvtFolder*>(Date->GetSubFolderByYear(YearOfDate(item->Date)))
                                   : Date->GetUndefinedFolder();
    f->AddItem(item);
  }
}

void TvtRootFolder::DescendantFreed(TvtFolder* folder) {
  for (TvtFolder** ref : {&All, &Size, &Large, &Middle, &Small, &Broken, &SOSMarker}) {
    if (*ref == folder) *ref = nullptr;
  }
  if (Camera == folder) Camera = nullptr;
  if (Date == folder) Date = nullptr;
}

int32_t YearOfDate(double date) {
  if (!(date > -1e9 && date < 1e9)) return 0;  // NaN or beyond any calendar
  // Days since 1899-12-30 -> days since 1970-01-01, then the civil calendar.
  const int64_t z = static_cast<int64_t>(std::floor(date)) - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return static_cast<int32_t>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace vt
