#include "viewer/source_clients.h"

#include "viewer/thumb_source.h"

namespace vt {

TvtSourceClientLink::~TvtSourceClientLink() { SetSource(nullptr); }

void TvtSourceClientLink::SetSource(TvtThumbSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveClient(this);
  source_ = source;
  if (source_ != nullptr) source_->AddClient(this);
}

void TvtSourceClientLink::SourceDestroyed(TvtThumbSource* source) {
  if (source == source_) source_ = nullptr;
}

}  // namespace vt
