// The program's resource bounds in one place. The README's "Limits" section states them for
// users, and tests enforce them: for any input of at most kBoundedInputBytes, info, render,
// thumbs and restore each finish within kBoundedSeconds (kBoundedSecondsSanitized in the
// sanitizer build), stay within kBoundedResidentBytes of memory, and restore writes at most
// kBoundedRestoreBytes.
#pragma once

#include <cstdint>

namespace vt {

// The inputs the bounds below are promised for.
inline constexpr int64_t kBoundedInputBytes = int64_t(1) << 20;
inline constexpr int kBoundedSeconds = 2;
inline constexpr int kBoundedSecondsSanitized = 20;
inline constexpr int64_t kBoundedResidentBytes = int64_t(512) << 20;
inline constexpr int64_t kBoundedRestoreBytes = int64_t(64) << 20;

// A tiny file may declare a huge frame. The full declared frame is kept (rendered, or restored
// at its declared size) only when it has at most kFullFramePixels, or at most
// kFramePixelsPerInputByte for each byte of the file read; otherwise the picture stops at the
// last row that the data reached. At 64 pixels a byte an input of kBoundedInputBytes keeps at
// most 64 M pixels of frame it does not cover (a 256 MB bitmap); real data needs more than a
// byte for 64 pixels except in pictures of a single flat colour.
inline constexpr int64_t kFullFramePixels = int64_t(64) * 1024 * 1024;
inline constexpr int64_t kFramePixelsPerInputByte = 64;

// True when a frame of width x height may be kept in full after reading bytesRead bytes.
constexpr bool FrameIsPlausible(int64_t width, int64_t height, int64_t bytesRead) {
  const int64_t pixels = width * height;
  return pixels <= kFullFramePixels || pixels <= kFramePixelsPerInputByte * (bytesRead > 0 ? bytesRead : 1);
}

// The realignment reads a damaged scan's data again, up to the end-of-image marker: at most
// kRepairScanSlack times the bytes the data would need at the rate of what decoded (and at least
// kRepairScanMinBytes), and never more than kMaxRepairScanBytes. A truncated picture inside a
// large disk image is not followed through the rest of the disk.
inline constexpr int64_t kMaxRepairScanBytes = int64_t(256) << 20;
inline constexpr int64_t kRepairScanMinBytes = int64_t(16) << 20;
inline constexpr int64_t kRepairScanSlack = 4;
// Pictures found inside the segments (thumbnails, previews) get a bitmap of at most
// kFullFramePixels. A raw picture of at most kRawAnyPixels gets one whatever its bytes hold; a
// larger one only when it needs no more than kRawBytesPerDataByte for each byte that is there.
// A PNG of at most kPngAnyPixels gets one; a larger one only when its compressed bytes could
// describe it (deflate expands at most about 1032:1 and a pixel may take one bit:
// kPngPixelsPerDataByte).
inline constexpr int64_t kRawAnyPixels = int64_t(1) << 20;
inline constexpr int64_t kRawBytesPerDataByte = 64;
inline constexpr int64_t kPngAnyPixels = int64_t(1) << 16;
inline constexpr int64_t kPngPixelsPerDataByte = 8256;

// The search for JPEG streams inside segment data tries every FF D8 FF; the bytes its failed
// tries may consume are kJpegSearchBytesPerDataByte for each byte searched, plus
// kJpegSearchBaseBytes, so that hostile data cannot make the search quadratic.
inline constexpr int64_t kJpegSearchBytesPerDataByte = 64;
inline constexpr int64_t kJpegSearchBaseBytes = int64_t(1) << 24;

// The viewer's undo keeps at least the last kMinUndoSteps edits and at most kMaxUndoSteps, as long
// as what they keep to be taken back fits in kUndoBudgetBytes (the oldest go first). A grid edit
// keeps one MCU row or less (its pixels included); a re-decode keeps the MCUs from where it
// started, a realignment every MCU, with only their non-zero coefficients (a noisy 24-megapixel
// photo at quality 92: about 50 MB, so at least five of those fit).
inline constexpr int kMinUndoSteps = 32;
inline constexpr int kMaxUndoSteps = 1000;
inline constexpr int64_t kUndoBudgetBytes = int64_t(256) << 20;

// When the default open finds no JPEG at byte 0, the viewer looks this far into the file for one
// that starts further on, to offer the deep scan; a larger file (a card image) is searched only
// by the deep scan itself.
inline constexpr int64_t kOpenHintSearchBytes = int64_t(64) << 20;

// restore refuses to write more than this for an input of inputBytes: kBoundedRestoreBytes, or
// 64 bytes for each input byte when that is more (a restored file is rarely twice its source).
constexpr int64_t RestoreOutputLimit(int64_t inputBytes) {
  return inputBytes * 64 > kBoundedRestoreBytes ? inputBytes * 64 : kBoundedRestoreBytes;
}

// Following a fragmented photo across a card image (source/fragment_search.h). The card's
// cluster size is found from the alignment of photo starts between kMinClusterBytes and
// kMaxClusterBytes (kDefaultClusterBytes when too few photos tell). At a break the continuation
// is looked for among the kFragmentWindowClusters clusters after it, then among at most
// kFragmentCandidates unclaimed clusters that start like entropy-coded data (and where none of
// those continues it, as many that may be data, wherever they lie); the last
// kFragmentBreakBoundaries cluster boundaries up to two clusters after where the damage shows
// are tried as the break. Each
// candidate is decoded on trial for at most kFragmentTrialMCUs MCUs. A photo is followed
// through at most kMaxFragments pieces.
inline constexpr int64_t kMinClusterBytes = 512;
inline constexpr int64_t kMaxClusterBytes = int64_t(128) << 10;
inline constexpr int64_t kDefaultClusterBytes = 4096;
inline constexpr int32_t kFragmentWindowClusters = 64;
inline constexpr int32_t kFragmentCandidates = 4096;
inline constexpr int32_t kFragmentBreakBoundaries = 4;
// From where the decoder stopped, at most this many boundaries back are walked to find the last
// cluster through which the photo's data still runs on.
inline constexpr int32_t kFragmentWalkBoundaries = 64;
inline constexpr int32_t kFragmentTrialMCUs = 2048;
// Where at most this many bytes of a photo's data are left after a break, the candidates that
// fit about as well are decoded on to the picture's end, which only the continuation reaches.
inline constexpr int64_t kFragmentCountOutBytes = int64_t(1) << 20;
inline constexpr int32_t kMaxFragments = 16;
// Photos still missing a piece are followed again, at most this many passes over them in all,
// while a pass finds more (the pieces claimed by the others uncover their continuations).
inline constexpr int32_t kFragmentPasses = 3;
// A broken photo not yet followed holds the clusters its first decode went through but this many
// last ones.
inline constexpr int32_t kFragmentUnheldClusters = 8;

// A sequential scan without restart markers is decoded on two cores when its data, from the scan
// header to the end of what may be read, holds at least kSplitScanMinBytes (below that the
// thread and the copy of the second part cost more than they save) and at most
// kSplitScanMaxBytes (beyond that the stream is a container or a disk image whose end says
// nothing about where the photo's data ends). Without restart markers the decoder from the start
// looks for an MCU start the ahead decoder recorded within kSplitSyncBytes after the byte where
// that one began, and decodes on alone when there is none.
inline constexpr int64_t kSplitScanMinBytes = int64_t(1) << 20;
inline constexpr int64_t kSplitScanMaxBytes = int64_t(64) << 20;
inline constexpr int64_t kSplitSyncBytes = int64_t(256) << 10;

}  // namespace vt
