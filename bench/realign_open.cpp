#include "realign_open.h"

#include "viewer/open_document.h"

namespace vt::bench {

bool RepairHooks(const std::string& mode, TRealignOpenOptions& options) {
  options.Repair = mode;
  options.BeforeOpen = nullptr;
  options.AfterLoad = nullptr;
  TvtRepair repair;
  if (!ParseRepair(mode, repair)) return false;
  options.BeforeOpen = [repair](TvtOpenOptions& o) { o.Repair = repair; };
  return true;
}

TShownFile::TShownFile(const std::string& path, const TRealignOpenOptions& options) {
  TvtOpenOptions open;
  if (options.BeforeOpen) options.BeforeOpen(open);
  doc_ = std::make_unique<TvtThumbSource>();
  const TvtOpened opened = OpenDocument(source_, *doc_, path, open);
  if (opened.Item == nullptr) return;
  if (options.AfterLoad) options.AfterLoad(*doc_);
}

TShownFile::~TShownFile() { doc_.reset(); }

const TBitmap32& TShownFile::Picture() const { return doc_ && doc_->HasImage() ? *doc_->MainImage() : none_; }

}  // namespace vt::bench
