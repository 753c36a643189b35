#include "viewer/open_document.h"

#include "jpeg/jpeg_constants.h"
#include "source/candidate_image.h"
#include "source/open_failure.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "viewer/preview_scale.h"
#include "viewer/thumb_source.h"

namespace vt {

namespace {

// Steps 1 and 2.
TvtOpened FindAndChoose(TvtDiscSource& source, const std::string& path, const TvtOpenOptions& options,
                        const TvtChooseItem& choose) {
  TvtOpened opened;
  opened.Found = OpenSource(source, path, options);
  opened.Chosen = choose ? choose(opened.Found, opened.Error) : DefaultChoice(opened.Found, options, opened.Error);
  if (opened.Chosen >= 0 && opened.Chosen < static_cast<int32_t>(opened.Found.Items.size()))
    opened.Item = opened.Found.Items[static_cast<size_t>(opened.Chosen)].Item;
  else
    opened.Chosen = -1;
  if (opened.Item == nullptr || opened.Item->Stream == nullptr) {
    opened.Item = nullptr;
    opened.Chosen = -1;
    if (opened.Error.empty() && !choose) opened.Error = InvalidImageLine(opened.Found.Reason);
  }
  return opened;
}

}  // namespace

TkelJpegWithThumbs* TvtOpened::Picture() const { return Item ? Item->Decoded.get() : nullptr; }

int TvtOpened::PictureResult() const { return Item ? Item->DecodedResult : 0; }

int32_t DefaultChoice(const TvtOpenResult& found, const TvtOpenOptions& options, std::string& error) {
  if (found.Items.empty()) {
    error = InvalidImageLine(found.Reason);
    return -1;
  }
  if (options.Item >= 0) {
    if (options.Item < static_cast<int32_t>(found.Items.size())) return options.Item;
    error = "there is no item " + std::to_string(options.Item) + " (the file has " +
            std::to_string(found.Items.size()) + ")";
    return -1;
  }
  if (!options.References.empty() && found.ReferencesUnused) {
    error = kReferenceDecodesNothing;
    return -1;
  }
  return found.DefaultItem;
}

TvtOpened OpenPicture(TvtDiscSource& source, const std::string& path, const TvtOpenOptions& options,
                      const TvtChooseItem& choose) {
  TvtOpened opened = FindAndChoose(source, path, options, choose);
  TvtItem* item = opened.Item;
  if (item != nullptr && !item->Decoded) {
    // An item the open did not keep a decode of (a deep scan's, or one made with a header set).
    auto image = std::make_unique<TvtCandidateImage>();
    image->RenderPlanesWhileDecoding = options.Render == TvtRender::Planes;
    if (options.Render == TvtRender::Reduced) image->ScaleWhileDecoding = options.Reduction;
    image->RecordsSegmentsOnly = !options.McuOffsets;
    const uint16_t flags =
        (options.McuOffsets ? pfRecordSegments : 0) | (options.Render == TvtRender::Frame ? 0 : pfNoRender);
    item->Repair = repair::TRepairReport{};
    item->DecodedResult = DecodeItem(*image, *item, flags, options.Repair, &item->Repair);
    item->Decoded = std::move(image);
  }
  return opened;
}

TvtOpened OpenDocument(TvtDiscSource& source, TvtThumbSource& document, const std::string& path,
                       const TvtOpenOptions& options, const TvtChooseItem& choose) {
  // A document that reads the source's streams must let them go before the source opens again.
  const bool readsSource = document.Stream != nullptr && document.Stream == source.Stream.get();
  const bool clearFirst = !options.BeyondDefault() || readsSource;
  if (clearFirst) {
    if (document.Stream != nullptr) document.Load(nullptr, nullptr, false, nullptr);
    document.FileName = path;
  }
  // A document that shows a reduced first picture needs no full-size one while it decodes: the
  // reduced one is rendered then, on the other cores.
  TvtOpenOptions decodeOptions = options;
  if (document.PreviewBox.Width > 0 && document.PreviewBox.Height > 0 && options.Render == TvtRender::Planes) {
    decodeOptions.Render = TvtRender::Reduced;
    decodeOptions.Reduction = [box = document.PreviewBox](int32_t w, int32_t h) { return PreviewShiftFor(w, h, box); };
    decodeOptions.DeferDamageSearch = true;  // the document finishes it (FinishDamageSearch)
  }
  TvtOpened opened = FindAndChoose(source, path, decodeOptions, choose);
  if (opened.Item == nullptr) return opened;
  document.FileName = path;
  LoadItem(document, *opened.Item, options.Repair);
  return opened;
}

void LoadItem(TvtThumbSource& document, TvtItem& item, TvtRepair repair) {
  item.Stream->Seek(static_cast<int64_t>(item.Offset), soBeginning);
  document.Load(item.HeaderStream, item.Stream, false, &item, repair);
}

}  // namespace vt
