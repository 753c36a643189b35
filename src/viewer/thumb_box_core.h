// What the thumbnail list (TvtThumbBox) knows and decides, free of any window system: one entry
// per thumbnail of the document plus a last entry "Don`t use thumbnail", their layout, the
// selection (which chooses the document's main thumbnail), each entry's smooth picture from the
// resizer, and when the Edit and Save as commands apply. The widget paints and forwards input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"
#include "viewer/resizer.h"
#include "viewer/source_clients.h"
#include "viewer/thumb_source.h"

namespace vt {

class TvtThumbBoxCore;

// The window services the list's core asks for.
class IvtThumbBoxHost {
 public:
  virtual ~IvtThumbBoxHost() = default;
  virtual void Repaint() = 0;
  virtual void UpdateScrollBars() = 0;
  // Brings a rectangle in content coordinates into view.
  virtual void ScrollContentInView(const TRect& rect) = 0;
};

// One entry: a thumbnail of the document, or none for the last entry.
class TvtThumbBoxItem : public TvtComponent, public IvtGR32ResizerClient {
 public:
  TvtThumbBoxItem(TvtThumbBoxCore& box, TvtThumb* thumb);
  ~TvtThumbBoxItem() override;  // cancels its pending job
  TvtThumbBoxItem(const TvtThumbBoxItem&) = delete;
  TvtThumbBoxItem& operator=(const TvtThumbBoxItem&) = delete;

  void ResizeDone(uint32_t jobId, std::unique_ptr<TBitmap32>& result) override;
  void CancelJob();

  TvtThumbBoxCore& Box;
  TvtThumb* const Thumb;
  std::unique_ptr<TBitmap32> Scaled;
  uint32_t PendingJob = 0;
};

extern const char kNoThumbnailText[];  // "Don`t use thumbnail"

class TvtThumbBoxCore : public TvtSourceClientLink, public IvtSourceThumbnailsClient, public IvtSourceThumbClient {
 public:
  static constexpr int32_t CellWidth = 160, CellHeight = 120, MarginX = 8, MarginY = 8;

  explicit TvtThumbBoxCore(IvtThumbBoxHost& host, TvtGR32Resizer* resizer = nullptr);
  ~TvtThumbBoxCore() override;

  // Attaches a document (null detaches and frees every entry).
  void SetSource(TvtThumbSource* source);
  void SourceDestroyed(TvtThumbSource* source) override;

  // The height of a caption line, measured by the widget in its font.
  void SetTextHeight(int32_t height);
  int32_t TextHeight() const { return textHeight_; }

  int32_t EntryWidth() const { return 2 * MarginX + CellWidth; }
  int32_t EntryHeight() const { return 2 * MarginY + CellHeight + textHeight_ + 2; }
  int32_t ContentWidth() const { return EntryWidth(); }
  int32_t ContentHeight() const { return EntryHeight() * Count(); }
  static constexpr int32_t LineStep() { return CellHeight / 3; }
  TRect GetItemRect(int32_t index) const;
  // The picture area of entry index (content coordinates).
  TRect CellRect(int32_t index) const;
  // The entry under a content point, or -1.
  int32_t ItemAt(int32_t x, int32_t y) const;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TvtThumbBoxItem* GetItem(int32_t index) const;
  bool IsLastEntry(int32_t index) const { return index >= 0 && index == Count() - 1; }
  int32_t SelectedIndex() const { return selectedIndex_; }
  // Clamps (below 0 to -1, beyond the end to the last entry), then selects and tells the
  // document: the last entry chooses no thumbnail, any other the thumbnail of that index.
  void SelectItem(int32_t index);
  // Up and Down.
  void SelectPrevious();
  void SelectNext();
  // Edit and Save as apply to a selected thumbnail entry (not the last one).
  bool CommandsEnabled() const;
  TvtThumb* SelectedThumb() const;

  // The caption of a thumbnail entry: the transformed bitmap's "WxH".
  static std::string Caption(TvtThumb& thumb);
  // For painting entry index: the picture to draw (its smooth copy when there is one, else the
  // transformed bitmap; null for the last entry) and where it goes in the cell (fitted and
  // centred). Asks the resizer for a smooth copy when the drawn picture is not the fitted size
  // and no job is pending.
  struct TDrawnPicture {
    const TBitmap32* Picture = nullptr;
    TRect Place;
  };
  TDrawnPicture PrepareEntryPicture(int32_t index);

  // Document notifications.
  void ThumbnailsChanged() override;
  void ThumbChanged(int32_t index) override;

  // Marks the picture for a rebuild; an item's result calls it.
  void Invalidate() { pictureValid_ = false; }
  bool PictureValid() const { return pictureValid_; }
  void SetPictureValid() { pictureValid_ = true; }
  IvtThumbBoxHost& Host() { return host_; }
  TvtGR32Resizer& Resizer() const;

 private:
  void FreeItems();

  IvtThumbBoxHost& host_;
  TvtGR32Resizer* resizer_;
  std::vector<std::unique_ptr<TvtThumbBoxItem>> items_;
  int32_t selectedIndex_ = -1;
  int32_t textHeight_ = 13;
  bool pictureValid_ = false;
};

}  // namespace vt
