// What the image view (TvtImage) knows and decides, free of any window system: the picture of
// its client area (checkerboard, the fitted or zoomed main image with the thumbnail background
// under its holes, the resizer's smooth copy once it arrives; view_picture.h draws it), the zoom,
// the one pending resizer job, the reaction to the document's notifications, and the MCU editing
// mode with its cursor and key commands, all in a view that may be turned (view_turn.h). The
// widget paints BackBuffer, forwards input, and provides the few window services of the host.
#pragma once

#include <cstdint>
#include <memory>

#include "bitmap/bitmap32.h"
#include "thumbs/picture_geometry.h"
#include "viewer/resizer.h"
#include "viewer/source_clients.h"
#include "viewer/thumb_source.h"

namespace vt {

// The window services the view's core asks for.
class IvtImageViewHost {
 public:
  virtual ~IvtImageViewHost() = default;
  virtual void Repaint() = 0;
  virtual void UpdateScrollBars() = 0;
  // Brings a rectangle (client coordinates) into view, preferring its left and top edges.
  virtual void ScrollInView(const TRect& rect) = 0;
  // Moves the scroll bars to these positions (content coordinates) after a zoom; the host then
  // tells the view with SetScroll.
  virtual void ScrollTo(int32_t, int32_t) {}
};

// The editing mode's commands, as the key table names them.
enum class TvtEditCommand {
  Left, Right, Up, Down, Home, End,
  PrevDecodedRunStart,  // Ctrl+Home
  NextDecodedRunEnd,    // Ctrl+End
  Clear,                // Delete
  Insert,               // Space
  InsertRow,            // Ctrl+Space
  Remove,               // Backspace
  Redecode,             // Ctrl+R
  SearchForward,        // Ctrl+F: re-decode from the first bit on from the cursor's start that decodes cleanly
  SearchBackward,       // Ctrl+Shift+F: the same searching backwards
};

// A run of MCUs in linear order, [First, First + Count).
struct TvtMCURun {
  int32_t First = 0;
  int32_t Count = 0;
};

// The checkerboard behind every picture: opaque white with 8 x 8 squares of 0xFFEEEEEE where the
// square's row and column have the same parity.
constexpr TColor32 kCheckerColor = 0xFFEEEEEEu;
void DrawCheckerboard(TBitmap32& bitmap);

// The image's size fitted into the client, keeping its proportions, each side at least 1, never
// larger than the image.
TPictureSize FitImageSize(int32_t imageW, int32_t imageH, int32_t clientW, int32_t clientH);

class TvtImageViewCore : public TvtSourceClientLink,
                         public IvtSourceMainImageClient,
                         public IvtSourceMainThumbClient,
                         public TvtComponent,
                         public IvtGR32ResizerClient {
 public:
  explicit TvtImageViewCore(IvtImageViewHost& host, TvtGR32Resizer* resizer = nullptr);
  ~TvtImageViewCore() override;  // cancels the pending job and leaves the document

  // Attaches to a document (null detaches); the document tells the view its state at once.
  void SetSource(TvtThumbSource* source);
  void SetEditingEnabled(bool value);
  void SetUseThumbnail(bool value);
  bool EditingEnabled() const { return editingEnabled_; }
  bool UseThumbnail() const { return useThumbnail_; }
  bool CursorFollow = true;

  // Whether Picture asks the resizer for its smooth copy at once (the default) or leaves the
  // request to RequestDueResize: the copy of a large picture for the job takes longer than the
  // quick picture, and a window shows that one first (after an MCU edit, for one).
  bool DeferResize = false;
  void RequestDueResize();
  bool ResizeDue() const { return resizeDue_; }
  // Marks the picture for a rebuild at the next paint (window resized, colours changed).
  void Invalidate() { backBufferValid_ = false; }
  // Rebuilds BackBuffer for a client of the given size when it is not valid, asking the resizer
  // for a smooth copy when the drawn picture's size is not the fitted one. Returns BackBuffer.
  const TBitmap32& Picture(int32_t clientW, int32_t clientH);

  const TBitmap32& BackBuffer() const { return backBuffer_; }
  const TBitmap32* Scaled() const { return scaled_.get(); }
  uint32_t PendingJob() const { return pendingJob_; }
  // A smooth picture is still to come: asked for, or due to be asked for after this paint.
  bool SmoothPending() const { return pendingJob_ != 0 || resizeDue_; }
  bool ResizeWanted() const { return resizeWanted_; }
  // The display scale in percent: the fitted scale, or the zoom.
  double FitScale() const { return fitScale_; }

  // Zoom. Fitted (the default) shows the whole picture, never enlarged; a zoom shows it at a
  // scale, with scroll bars where it is larger than the client area (ContentSize). Above 100 %
  // image pixels are drawn as sharp squares; below it the resizer's smooth picture follows.
  bool Fitted() const { return fitted_; }
  // The effective scale in whole percent (also when fitted); 0 without an image.
  int ZoomPercent() const;
  void ZoomIn();
  void ZoomOut();
  void ActualSize();
  void FitToWindow();
  // Zooms to percent keeping the image pixel under client point (x, y) where it is.
  void ZoomAt(double percent, int32_t x, int32_t y);
  // Ctrl+wheel: one step in or out per notch (delta 120, positive: in) around the point.
  void WheelZoom(int32_t delta, int32_t x, int32_t y);
  // The zoomed picture's size in device pixels (0 x 0 while fitted: no scroll bars).
  TPictureSize ContentSize() const;
  // The scroll bars' positions (content coordinates, device pixels).
  void SetScroll(int32_t x, int32_t y);
  // Show Filled Areas: blocks that come from the thumbnail are tinted.
  bool ShowFilledAreas() const { return showFilled_; }
  void SetShowFilledAreas(bool value);
  // Where the fitted picture lies in the client area (empty without an image).
  TRect PictureRect() const { return pictureRect_; }

  // Turning the view (viewer/view_turn.h): the picture, its thumbnail background and the MCU
  // grid are shown turned; the document is untouched. Apply Exif Orientation (off by default:
  // the frame as stored) shows the photo as its Exif Orientation tag says; Rotate Left and Right
  // turn what is shown a quarter turn further, until another file is opened. A zoomed view keeps
  // the picture point at the client's centre where it is.
  bool ApplyExifOrientation() const { return applyExif_; }
  void SetApplyExifOrientation(bool value);
  void RotateLeft();
  void RotateRight();
  // The orientation code the picture is shown at.
  uint8_t Turn() const;
  // The image's size as shown (sides exchanged by a quarter turn); 0 x 0 without an image.
  TPictureSize ShownSize() const;

  // Editing mode. The cursor is an MCU position; its rectangle is in client coordinates, its
  // right and bottom sides on the first column and row after the MCU (the red frame's place).
  TvtMCUPos Cursor() const { return cursor_; }
  bool EditingActive() const;
  TRect CursorRect() const;
  // A click at a client point moves the cursor to the MCU under it.
  void ClickAt(int32_t x, int32_t y);
  // Runs one command; false when the editing mode is off or the document has no image.
  bool Execute(TvtEditCommand command);
  void SetCursor(TvtMCUPos p);
  // Takes back or does again the document's last edit; the cursor goes to where it was made.
  bool UndoEdit();
  bool RedoEdit();
  // The decoded run that Ctrl+Home and Ctrl+End bound around the cursor (the DC correction's
  // default run); Count 0 when nothing around it is decoded.
  TvtMCURun DecodedRunAtCursor() const;

  // Document notifications.
  void MainImageChanged(bool reset) override;
  void MainThumbChanged() override;
  void SourceDestroyed(TvtThumbSource* source) override;
  // The resizer's result.
  void ResizeDone(uint32_t jobId, std::unique_ptr<TBitmap32>& result) override;

 private:
  TvtGR32Resizer& Resizer() const;
  void CancelPending();
  void DropScaled();
  void RequestResizeIfNeeded(TPictureSize fit, TPictureSize drawn, const TBitmap32& source);
  // The zoom changed: a new picture, new scroll bars, the smooth copy of the old scale dropped.
  void ZoomChanged();
  // Scrolls so that the shown picture's point (ix, iy) (unscaled) lies under client point
  // (x, y) at the present zoom, and tells the host.
  void KeepPointAt(double ix, double iy, int32_t x, int32_t y);
  // The turn changes from `before` to what Turn() now gives.
  void TurnChanged(uint8_t before);
  TPictureSize ImageSize() const;
  double CurrentPercent() const;  // the effective scale for the last client size
  int32_t LinearCursor() const;
  TvtMCUPos FromLinear(int32_t index) const;
  int32_t LastMCU() const;
  // The first and the last MCU of the decoded run that the two run keys reach from index.
  int32_t RunStartFrom(int32_t index) const;
  int32_t RunEndFrom(int32_t index) const;
  void MoveCursorOnScreen(int32_t dx, int32_t dy);
  void MoveCursorForward();
  void MoveCursorBack();
  // Keeps `mcus` MCU widths in view on one side of the cursor (negative: to its left).
  void FollowCursor(int32_t mcus);

  IvtImageViewHost& host_;
  TvtGR32Resizer* resizer_;
  TBitmap32 backBuffer_;
  bool backBufferValid_ = false;
  std::unique_ptr<TBitmap32> scaled_;
  uint32_t pendingJob_ = 0;
  bool resizeWanted_ = false;
  bool resizeDue_ = false;
  TPictureSize dueFit_, dueDrawn_;
  const TBitmap32* dueSource_ = nullptr;  // the picture the due request is made from
  double fitScale_ = 100.0;
  TRect pictureRect_;
  bool editingEnabled_ = true;
  bool useThumbnail_ = false;
  TvtMCUPos cursor_;
  bool fitted_ = true;
  double zoom_ = 100.0;
  bool showFilled_ = false;
  bool applyExif_ = false;
  int quarterTurns_ = 0;  // Rotate Right counts 1, Rotate Left 3 (mod 4)
  int32_t scrollX_ = 0, scrollY_ = 0;
  int32_t clientW_ = 0, clientH_ = 0;
};

}  // namespace vt
