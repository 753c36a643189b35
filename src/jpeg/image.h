// TkelJpegImage: the decoder object the rest of the program holds. A parser that keeps every
// coefficient, reconstructs pixels after parsing (or on request, in a chosen view mode) and
// delivers a TBitmap32 whose undecoded areas are transparent (0, 0, 0, 0). Images whose planes
// are larger than 480 x 480 are reconstructed on the process-wide pool of TkelJpegThread workers.
// Bad data never raises: every operation returns a result code and keeps what decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/limits.h"
#include "bitmap/bitmap32.h"
#include "jpeg/band_render.h"
#include "jpeg/jpeg_map.h"
#include "jpeg/render_pipeline.h"
#include "jpeg/jpeg_thread.h"
#include "jpeg/parser.h"

namespace vt {

struct TkelJpegWriterState;

// View modes of Render: 0 colour by the colour model, 1..4 grey view of frame component 0..3.
constexpr int vmColor = 0;

class TkelJpegImage : public TkelBaseJpegParser {
 public:
  explicit TkelJpegImage(int32_t bufferSize = 0, bool overridesAppBlock = false);
  ~TkelJpegImage() override;

  // MCU geometry and snapshot 0, samples released, own bitmap emptied, then the parser's Reset.
  void Reset() override;
  // The parser's Parse, then the snapshot, then (with a frame and without pfNoRender or
  // pfHeadersOnly) RenderOwnBitmap. Returns the parse result when it is not jrOK, else the
  // render result: a damaged file still renders what decoded.
  int Parse(uint16_t flags, int colorModel) override;
  // The parser's PrepareScan, then each scan component's frame component takes a copy of the
  // quantisation table in force, so it is reconstructed with the table of its last scan.
  void PrepareScan() override;
  bool KeepCoefficients() override { return true; }

  // Reconstructs into bitmap (created when null). Crop: the result is the top-left Width x Height
  // pixels; otherwise the plane size. Returns jrOK, jrBadData (no frame: bitmap untouched; a
  // component that never appeared: rendered with samples 0) or jrUnsupportedColorModel (colour
  // model without conversion, or a view mode naming no component: all-zero bitmap of plane size).
  //
  // A tiny file may declare a huge frame: with Crop the full Width x Height bitmap is allocated
  // only when FrameIsPlausible (base/limits.h) after the bytes consumed (Position); otherwise its
  // height is cut to the rows that the data reached.
  int Render(std::unique_ptr<TBitmap32>& bitmap, bool crop, int viewMode);
  int Render(TBitmap32& bitmap, bool crop, int viewMode);
  // The same pixels made the plain way: every component reconstructed into a plane of the whole
  // image (one worker job per component), the planes converted in three row bands, and the
  // result cropped. Render works band by band instead; this stays as its reference in tests.
  int RenderReference(TBitmap32& bitmap, bool crop, int viewMode);
  // The picture at 1/2^shift of the frame's size (shift 0..3; each side rounded up), made
  // straight from the coefficients by the reduced inverse DCT (idct_scaled.h): what Render with
  // Crop gives, averaged over 2^shift x 2^shift pixels, at a fraction of the work. Holes stay
  // transparent. Same results and failures as Render.
  int RenderScaled(TBitmap32& bitmap, int shift, int viewMode = vmColor);
  // Render into the own bitmap with Crop and view mode 0.
  int RenderOwnBitmap();
  // The own bitmap, handed over (null when there is none).
  std::unique_ptr<TBitmap32> TakeBitmap() { return std::move(Bitmap); }
  // Frees the storage of the planes and the presence map (the objects stay).
  void ReleaseSamples();

  // Inverse DCT and replication of one component into its plane (a worker job in parallel mode).
  void ReconstructComponent(int component);
  // The component planes as the conversions read them.
  TkelPlaneSet PlaneSet() const;

  // Parallel mode when the plane is larger than this in both directions.
  static constexpr int32_t kParallelThreshold = 480;

  // ------------------------------------------------------------------ state
  std::unique_ptr<TkelJpegWriterState> WriterState;         // the baseline writer's working state
  std::unique_ptr<TkelComponentData> ComponentPlanes[4];    // by frame component index
  std::unique_ptr<TkelAlphaComponentData> PresenceMap;
  std::unique_ptr<TBitmap32> Bitmap;                        // own bitmap, until TakeBitmap
  TManualResetEvent Events[4];                              // completion of worker jobs
  int32_t LastMCUWidth = 0;
  int32_t LastMCUHeight = 0;
  int32_t LastScanComponentCount = 0;

  // Forces the parallel (true) or sequential (false) path regardless of size; for tests that
  // compare the two. Unset: chosen by kParallelThreshold.
  int ForceParallel = -1;
  // Whether the last Render ran on the worker pool.
  bool RenderedInParallel = false;

  // Rendering while decoding (render_pipeline.h): used by Parse when it renders its own bitmap
  // of a large sequential picture. Off: Parse decodes first and renders after.
  bool RenderWhileDecoding = true;
  // With pfNoRender too: the colour picture at the planes' size (what Render(bitmap, false,
  // vmColor) gives) is rendered while decoding and handed to the first such Render after the
  // parse, as long as no repair operation has changed the blocks in between. The document sets it.
  bool RenderPlanesWhileDecoding = false;
  // With pfNoRender: the reduced colour picture that RenderScaled(bitmap, shift) gives, rendered
  // while decoding, for the shift this returns for the frame's width and height (0: none). The
  // first such RenderScaled after the parse takes it, as long as no repair operation has changed
  // the blocks in between. A viewer that shows the picture fitted to its window sets it.
  std::function<int(int32_t width, int32_t height)> ScaleWhileDecoding;
  // Whether the last Parse's picture came from rendering while decoding.
  bool RenderedWhileDecoding = false;

 protected:
  void ScanRowsDone(int32_t row) override;
  // The band workers wait while the scan is decoded on two cores; the decoding thread renders
  // bands while it waits for the second one.
  void SplitDecodeRunning(const std::atomic<bool>* running) override;
  bool WorkWhileWaiting() override;

 private:
  // The band plan of a render and the picture's size; false when there is nothing to render
  // (no frame, no plane). result: jrBadData for a component that never appeared,
  // jrUnsupportedColorModel for a picture without conversion (Kind 0).
  bool PlanRender(bool crop, int viewMode, TkelBandPlan& plan, int32_t& width, int32_t& height,
                  int& result, int shift = 0) const;
  // Render's work once the ahead picture is ruled out: the bands on the pool and this thread.
  int RenderPlanned(TBitmap32& bitmap, bool crop, int viewMode, int shift);
  // Rendering while decoding (image_pipeline.cpp).
  void StartPipeline();
  void StopPipeline();                     // stops the workers and waits for them
  bool FinishPipeline(int& rendered);      // after the parse: true when its picture stands
  std::unique_ptr<TkelRenderPipeline> pipeline_;
  std::unique_ptr<TBitmap32> pipelineBitmap_;
  int pipelineJobs_ = 0;
  bool pipelineWanted_ = false;
  bool pipelineCrop_ = true;           // the own bitmap (cropped) or the planes' size
  int pipelineShift_ = 0;              // the reduction of the picture being rendered
  // The picture made while decoding for the next Render (planes' size, aheadShift_ 0) or
  // RenderScaled (the frame reduced by 2^aheadShift_).
  std::unique_ptr<TBitmap32> aheadBitmap_;
  int aheadShift_ = 0;
  int aheadResult_ = 0;
  uint32_t aheadEdits_ = 0;
  int32_t pipelineScans_ = 0;
  int32_t pipelineWidth_ = 0, pipelineHeight_ = 0;
  uint8_t pipelineKind_ = 0;

  // Plane size from the coefficient maps; false when there is nothing to size from.
  bool PlaneSize(int32_t& width, int32_t& height, int32_t blockRows[4]) const;
  static void DimensionPlane(TkelComponentData& plane, int32_t width, int32_t height);
  int32_t planeWidth_ = 0;   // plane size of the render in progress
  int32_t planeHeight_ = 0;
};

}  // namespace vt
