// TkelJpegThumbs: the thumbnail collection of one JPEG. It takes the runs of APPn/COM segments
// that the parser reports, hands each segment to the handler class that claims it (the registry
// is asked from the last registered class to the first), and keeps what the handlers find:
// the thumbnail records, the pending post thumbnails and the Exif facts. A handler that joins
// data over several segments appends it to the joined buffer; the block map remembers where
// each appended piece lies in the file so that AddThumb can give every record its file blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "thumbs/thumb_types.h"

namespace vt {

class TkelJpegImage;
class TkelJpegThumbHandler;
class TkelJpegThumbHandlerRegistry;
struct TkelJpegThumbHandlerClass;

class TkelJpegThumbs {
 public:
  explicit TkelJpegThumbs(bool allMPImages);
  ~TkelJpegThumbs();
  TkelJpegThumbs(const TkelJpegThumbs&) = delete;
  TkelJpegThumbs& operator=(const TkelJpegThumbs&) = delete;

  // Exif facts, written by the Exif handler: each string from the first tag that carries it,
  // each date from the first that parses; Orientation is the Exif value as read (0 = absent).
  std::string ImageDescription, PageName, DocumentName, Make, Model;
  TkelDateTime DateTime, DateTimeOriginal, DateTimeDigitized;
  int32_t Orientation = 0;
  // Largest Offset + Size of a post thumbnail that decoded, 0 if none.
  int32_t PostEnd = 0;

  bool AllMPImages() const { return allMPImages_; }
  // The handler classes asked by ProcessAppBlock; nullptr (the default) means the process-wide
  // registry. Tests set their own.
  const TkelJpegThumbHandlerRegistry* Registry = nullptr;

  // Records; the pointer stays valid until the next change of the list.
  int32_t ThumbCount() const { return int32_t(thumbs_.size()); }
  PkelJpegThumb GetThumbs(int32_t index) { return &thumbs_.at(size_t(index)); }
  std::vector<TkelJpegThumb>& Thumbs() { return thumbs_; }
  int32_t PostThumbCount() const { return int32_t(postThumbs_.size()); }
  PkelJpegPostThumb GetPostThumbs(int32_t index) { return &postThumbs_.at(size_t(index)); }

  // Empties facts, records and post thumbnails.
  void Clear();

  // Dispatches one run of complete segments (FF, marker, length, data ... as the parser
  // gathered them; only the last may be short). offset is the stream offset of the first FF.
  // An exception raised by a handler frees the current handler, empties the joined buffer and
  // leaves this function; what was added before it stays.
  void ProcessAppBlock(int64_t offset, const uint8_t* buffer, int32_t length);

  // Appends count bytes to the joined buffer; the piece lies at the current segment's data
  // offset + relativeOffset in the file.
  void AppendData(int32_t relativeOffset, const uint8_t* source, int32_t count);
  const uint8_t* JoinedData() const { return joined_.data(); }
  int32_t JoinedLength() const { return int32_t(joined_.size()); }
  const std::vector<TkelJpegBlock>& BlockMap() const { return blockMap_; }

  // Appends a record. offset and size are positions in the handler's data (the joined buffer,
  // or the current segment's data when nothing was joined); the record's Blocks are the file
  // ranges those bytes occupy. Returns the record (valid until the next change).
  PkelJpegThumb AddThumb(TkelJpegThumbKind kind, int32_t offset, int32_t size, int32_t width,
                         int32_t height, int32_t completeness, std::unique_ptr<TBitmap32> bitmap,
                         std::unique_ptr<TMemoryStream> data, const std::string& caption);
  void AddPostThumb(int64_t offset, int32_t size);

  // Decodes every pending post thumbnail with a nested TkelJpegWithThumbs and moves its records
  // here. origin is the stream position at which the JPEG starts (post offsets count from it).
  // Nested collections resolve their own post thumbnails down to kMaxPostNesting levels.
  void ResolvePostThumbs(TStream& stream, int64_t origin = 0);
  static constexpr int32_t kMaxPostNesting = 4;
  int32_t NestingLevel = 0;

  // Stable, largest Width x Height first.
  void SortThumbsByArea();

  // The segment being dispatched: offset of its data in the file, its usable data length, and
  // the data offset of the first segment the current handler instance received.
  int64_t SegmentDataOffset() const { return segmentDataOffset_; }
  int32_t SegmentUsableLength() const { return segmentUsableLength_; }
  int64_t HandlerStartOffset() const { return handlerStartOffset_; }

  // The shared decoder for embedded pictures and the stream through which it reads; both are
  // created on first use.
  TkelJpegImage& Decoder();
  TTempMemoryStream& TempStream();
  // Points the temporary stream at (data, length) and runs the decoder's LoadFromStream with
  // flags and the forced colour model. Returns the result code. Afterwards read the decoder's
  // DecodedPercent, Position, frame size, TakeBitmap and header copy.
  int32_t DecodeEmbedded(const uint8_t* data, int32_t length, uint32_t flags, uint8_t colorModel);
  // A copy of the decoder's header record after the last decode (absent when it has none).
  std::unique_ptr<TkelJpegID> CloneDecoderID();

 private:
  // Appends a record with those values and no blocks, bitmap or data; AddThumb and the post
  // thumbnails fill in the rest.
  TkelJpegThumb& AppendRecord(TkelJpegThumbKind kind, int32_t offset, int32_t size, int32_t width,
                              int32_t height, int32_t completeness);
  void FinishHandler();
  void DropHandler();
  void ClearJoined();

  bool allMPImages_;
  std::vector<TkelJpegThumb> thumbs_;
  std::vector<TkelJpegPostThumb> postThumbs_;
  // Post thumbnails already decoded, so that a resumed load decodes none of them twice.
  std::vector<bool> postDone_;

  const TkelJpegThumbHandlerClass* handlerClass_ = nullptr;
  std::unique_ptr<TkelJpegThumbHandler> handler_;
  int64_t handlerStartOffset_ = 0;
  int64_t segmentDataOffset_ = 0;
  int32_t segmentUsableLength_ = 0;

  std::vector<uint8_t> joined_;
  std::vector<TkelJpegBlock> blockMap_;

  std::unique_ptr<TkelJpegImage> decoder_;
  std::unique_ptr<TTempMemoryStream> tempStream_;
};

}  // namespace vt
