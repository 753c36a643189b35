#include "realign_open.h"

namespace vt::bench {

bool RepairHooks(const std::string& mode, TRealignOpenOptions& options) {
  options.Repair = mode;
  options.BeforeOpen = nullptr;
  options.AfterLoad = nullptr;
  if (mode == "none") return true;
  if (mode != "auto") return false;
  options.AfterLoad = [](TvtThumbSource& doc) { doc.RealignAutomatically(); };
  return true;
}

TShownFile::TShownFile(const std::string& path, const TRealignOpenOptions& options) {
  TvtOpenOptions open;
  if (options.BeforeOpen) options.BeforeOpen(open);
  const TvtOpenResult found = OpenSource(source_, path, open);
  if (found.Items.empty() || found.DefaultItem < 0) return;
  TvtItem* item = found.Items[static_cast<size_t>(found.DefaultItem)].Item;
  if (item == nullptr || item->Stream == nullptr) return;
  doc_ = std::make_unique<TvtThumbSource>();
  doc_->FileName = path;
  item->Stream->SetPosition(static_cast<int64_t>(item->Offset));
  doc_->Load(item->HeaderStream, item->Stream, false, item);
  if (options.AfterLoad) options.AfterLoad(*doc_);
}

TShownFile::~TShownFile() { doc_.reset(); }

const TBitmap32& TShownFile::Picture() const { return doc_ && doc_->HasImage() ? *doc_->MainImage() : none_; }

}  // namespace vt::bench
