// TvtThumbSource: the viewer's document. It holds the open JPEG (decoded by a
// TkelJpegWithThumbs), the main image rendered at frame size with transparent holes, the
// candidate thumbnails, the chosen one and a full-size background made from it, and offers the
// MCU edits of the image view. Views register and are told of changes through the interfaces
// of source_clients.h. Engine code: no Qt here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bitmap/bitmap32.h"
#include "jpeg/jpeg_map.h"
#include "repair/repair_report.h"
#include "jpeg/writer_trailer.h"
#include "source/picture_decode.h"
#include "thumbs/jpeg_with_thumbs.h"
#include "thumbs/picture_geometry.h"
#include "viewer/edit_history.h"
#include "viewer/source_clients.h"
#include "viewer/thumb.h"

namespace vt {

class TvtItem;

// An MCU position: column and row, 0-based.
struct TvtMCUPos {
  int32_t Col = 0;
  int32_t Row = 0;
};

class TvtThumbSource {
 public:
  TvtThumbSource();
  ~TvtThumbSource();
  TvtThumbSource(const TvtThumbSource&) = delete;
  TvtThumbSource& operator=(const TvtThumbSource&) = delete;

  // Opens a new document from stream (positioned at the JPEG), with an optional header stream
  // for headerless scan data and an optional disc-source item (the streams are then the
  // item's). The decode the open kept of the item (TvtItem::Decoded) becomes the document's;
  // otherwise the picture is decoded here (source/picture_decode.h), repaired as asked. The
  // candidate thumbnails are that decode's (an item's sub-items are the same pictures), or for
  // an item whose sub-items came from elsewhere, their pictures. A null stream only clears.
  // Decoder and item exceptions propagate.
  void Load(TStream* headerStream, TStream* stream, bool ownsStream, TvtItem* item,
            TvtRepair repair = TvtRepair::None);
  // Frees everything of the current file; sends nothing.
  void Clear();

  int32_t ThumbCount() const { return static_cast<int32_t>(thumbs_.size()); }
  TvtThumb* GetThumbs(int32_t index) const;
  // -1 chooses none. Sends MainThumbChanged when the choice changes.
  void SetMainThumb(int32_t index);
  bool GetThumbTransform(int32_t index, uint8_t& orientation, int32_t& cropLeft, int32_t& cropTop,
                         int32_t& cropRight, int32_t& cropBottom) const;
  void SetThumbTransform(int32_t index, uint8_t orientation, int32_t cropLeft, int32_t cropTop,
                         int32_t cropRight, int32_t cropBottom);

  bool HasImage() const {
    return (mainImage_ != nullptr && !mainImage_->Empty()) || (preview_ != nullptr && !preview_->Empty());
  }
  // The main image at frame size (null when the decoder produced nothing). A document opened
  // with a PreviewBox makes it here, when first asked for.
  TBitmap32* MainImage();
  // The same without making it: null while only the reduced picture exists.
  TBitmap32* MainImage() const { return mainImage_; }
  TBitmap32* DecodedBitmap() { return MainImage() ? decodedBitmap_.get() : nullptr; }

  // The viewer's window (its client area in device pixels). When set, Load makes the first
  // picture at the largest reduction whose picture still covers the frame fitted into the box
  // (viewer/preview_scale.h), straight from the coefficients, and the full-size image only when
  // something first asks for it (MainImage: Save As, a zoom beyond the reduction, the MCU edits'
  // pixels). Empty (the default): the full-size image at once, as the commands want it.
  TPictureSize PreviewBox;
  // The reduced picture and its reduction 1/2^PreviewShift; null when the full-size image was
  // made instead (no box, a small frame, an edit after the full image was made). It stays when
  // the full image is made later: the two show the same blocks.
  const TBitmap32* Preview() const { return preview_.get(); }
  int PreviewShift() const { return preview_ ? previewShift_ : 0; }
  // The thumbnail background at the preview's size, built once per choice; null without either.
  TBitmap32* GetPreviewBackground();
  bool HasFullImage() const { return mainImage_ != nullptr; }
  // The size of the main image, known without making it.
  TPictureSize ImageSize() const;
  // The chosen thumbnail's transformed bitmap, or null.
  TBitmap32* MainThumb() const { return mainThumb_; }
  // A main-image-sized picture of the chosen thumbnail with its edges extended; null when no
  // thumbnail is chosen or there is no image. Built once per choice.
  TBitmap32* GetThumbBackground();

  // The grid (MCUWidth ... MCURows) is the frame's MCU (jpeg/mcu_layout.h). The edits apply
  // where the decoder's last scan held every component in that grid: a sequential interleaved
  // picture, a grey one; not a progressive colour one, whose last scan codes one component.
  bool CanEditMCUs() const;
  // MCU edits (positions outside the grid, and pictures CanEditMCUs refuses, do nothing). Each
  // edits the decoder's maps, patches the rendered pixels and sends MainImageChanged(false).
  bool IsMCUDecoded(TvtMCUPos p) const;
  void ClearMCU(TvtMCUPos p);
  void InsertMCU(TvtMCUPos p);
  void InsertMCURow(TvtMCUPos p);
  void DeleteMCU(TvtMCUPos p);
  TkelOffsetEntry GetMCUOffsets(TvtMCUPos p) const;
  // Re-decodes from MCU p at the given offsets (StartByte, StartBit), then re-renders.
  int RedecodeFrom(TvtMCUPos p, const TkelOffsetEntry& offsets, int search, bool useNextDC);
  // Automatic realignment of the damaged data (repair/realign.h) with the chosen thumbnail as
  // the guide; re-renders when blocks changed (RepairReport then tells what was done). Returns
  // whether they did.
  bool RealignAutomatically();
  // The manual form of the realignment's colour fix: adds shift[i] DC steps to the DC of every
  // decoded block of scan component i in MCUs [first, first + count), then re-renders.
  void CorrectDC(int32_t first, int32_t count, const int32_t shift[4]);

  // Every edit above (not IsMCUDecoded / GetMCUOffsets) can be taken back and done again, within
  // the budget of edit_history.h; a new document starts with empty lists. where: the MCU the
  // step was made at. Each returns whether there was a step.
  bool Undo(TvtMCUPos* where = nullptr);
  bool Redo(TvtMCUPos* where = nullptr);
  bool CanUndo() const { return History.CanUndo(); }
  bool CanRedo() const { return History.CanRedo(); }
  TvtEditHistory History;

  // Whether MCU edits, a re-decode or the automatic realignment changed the picture since it
  // was loaded; a save of the edited picture marks it saved (false).
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  // Registers a view (once) and sends it MainImageChanged(true) and ThumbnailsChanged.
  void AddClient(IvtSourceClient* client);
  void RemoveClient(IvtSourceClient* client);

  // Used by TvtThumb to join and leave the list.
  void AttachThumb(TvtThumb* thumb) { thumbs_.push_back(thumb); }
  void DetachThumb(TvtThumb* thumb);

  // What followed the picture in its file, for the restored copy (none for a picture read with
  // a replacement header).
  TkelTrailer Trailer() const { return trailer_; }

  std::string FileName;
  // Where the picture starts in its file when the file holds several (a card image): the
  // caption and the proposed name of the restored copy carry it. 0 names the picture by its
  // file alone (Load sets the item's offset; an open that found one picture sets 0).
  uint64_t PictureOffset = 0;
  TStream* Stream = nullptr;
  bool OwnsStream = false;
  std::unique_ptr<TkelJpegWithThumbs> Jpeg;
  // What the repair of the decode did, and where the damage starts.
  repair::TRepairReport RepairReport;
  // A fitted document (PreviewBox) shows its first picture before it knows where the damage
  // starts (RepairReport.FirstDamagePending): the viewer calls this once that picture is on the
  // screen, and every edit calls it first. Nothing when no search is pending.
  void FinishDamageSearch();
  int32_t MainThumbIndex = -1;
  int32_t MCUWidth = 0, MCUHeight = 0;
  int32_t MCUCols = 0, MCURows = 0;

 private:
  // Re-renders the picture: the preview while the full image has not been made, else the full
  // image (which then stands alone).
  void Render(bool notify);
  void RenderFull();
  void RenderPreview();
  // The background of the chosen thumbnail over a picture of size w x h whose full-size bounds
  // are scaled by w / the image's width.
  std::unique_ptr<TBitmap32> MakeThumbBackground(int32_t w, int32_t h);
  void Compose();
  void FreeImages();   // the full-size image
  void DropPreview();
  bool InGrid(TvtMCUPos p) const;
  // Pixel patches of the MCU edits on DecodedBitmap.
  void CopyMCUPixels(int32_t from, int32_t to);
  void ClearMCUPixels(int32_t index);
  int32_t PixelMCUEnd() const;
  void AfterEdit();
  void MoveMCUPixels(int32_t from, int32_t to, int32_t count);
  // The edits themselves, unrecorded.
  void GridClear(int32_t at);
  void GridInsert(int32_t at);
  void GridInsertRow(int32_t at);
  void GridDelete(int32_t at);
  // Undo and redo (mcu_undo.cpp): a step's undo data, doing it (the re-decode's result, or for
  // the realignment whether blocks changed), taking it back.
  void PrepareUndo(TvtEditStep& step);
  TvtSavedMCUs SaveRange(int32_t first, int32_t end, bool pixels) const;
  void PutBack(const TvtSavedMCUs& saved);
  int Perform(TvtEditStep& step);
  void Revert(TvtEditStep& step);
  // Prepares, performs and records a new step; returns Perform's answer.
  int Do(TvtEditStep step);

  void NotifyMainImage(bool reset, IvtSourceClient* only = nullptr);
  void NotifyThumbnails(IvtSourceClient* only = nullptr);
  void NotifyMainThumb();
  void NotifyThumb(int32_t index);

  std::vector<TvtThumb*> thumbs_;
  std::unique_ptr<TBitmap32> decodedBitmap_;
  std::unique_ptr<TBitmap32> composedImage_;  // the main image when it differs from decodedBitmap_
  TBitmap32* mainImage_ = nullptr;
  TBitmap32* mainThumb_ = nullptr;
  std::unique_ptr<TBitmap32> thumbBackground_;
  std::unique_ptr<TBitmap32> preview_;
  std::unique_ptr<TBitmap32> previewBackground_;
  int previewShift_ = 0;
  bool fullWanted_ = true;  // the full image is made at once (and after every re-render)
  std::vector<IvtSourceClient*> clients_;
  TkelTrailer trailer_;
  bool modified_ = false;
};

}  // namespace vt
