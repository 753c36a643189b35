// TvtDiscSourceThread: the worker of one TvtDiscSource::Open. It opens the file, runs the
// signature search over bytes 0 to 2 (a JPEG can only be found at offset 0; the whole file for
// a deep scan), adds the reference files' header sets, then runs the scan-marker analysis, and
// packs the folder tree. Progress values are guarded by Lock; the
// byte loop never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "source/buffered_stream.h"
#include "source/com_interfaces.h"
#include "source/items.h"

namespace vt {

class TvtDiscSource;
class TvtSOSFolder;
class TkelJpegID;
class TkelJpegWithThumbs;
class TTempMemoryStream;

// The phases of an open's search, as its progress reports them: the signature search, then the
// analysis of the scan markers it met.
enum class TvtScanPhase : uint8_t { None, Signatures, ScanMarkers };

class TvtDiscSourceThread {
 public:
  // Starts at once; with start false nothing runs (tests drive the stages themselves).
  explicit TvtDiscSourceThread(TvtDiscSource& source, bool start = true);
  // Asks to terminate and waits.
  ~TvtDiscSourceThread();
  TvtDiscSourceThread(const TvtDiscSourceThread&) = delete;
  TvtDiscSourceThread& operator=(const TvtDiscSourceThread&) = delete;

  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  void WaitFor();

  // The progress texts queued since the last call, oldest first.
  std::vector<std::string> TakeMessages();
  // 0..100 over both phases.
  int ProgressPercent();
  TvtScanPhase CurrentPhase();

  // The progress texts the phases queue (Messages).
  static constexpr const char* kSignatureText = "Поиск файлов на основе сигнатур";
  static constexpr const char* kScanMarkerText = "Анализ найденных SOS маркеров";

  TvtDiscSource& Source;
  TvtBufferedStream* Stream = nullptr;
  uint64_t Size = 0;
  std::unique_ptr<TkelJpegWithThumbs> Image;
  TvtItem* Container = nullptr;
  std::unique_ptr<uint8_t[]> MarkerBuffer;
  // Reads the opened file at a position, safe beside the buffered stream's reads; set while the
  // worker's own file is searched (tests that drive ScanRange on a stream leave it empty).
  std::function<int64_t(uint64_t offset, void* buffer, int64_t count)> ReadAt;
  std::exception_ptr Error;
  std::string ErrorMessage;
  std::vector<std::pair<std::string, bool>> Messages;
  int32_t PhaseCount = 2;
  int32_t Phase = 0;
  uint64_t Progress = 0, ProgressTotal = 0;
  uint32_t LastTick = 0;
  std::mutex Lock;

  // The stages, public for the tests that drive them on a prepared source.
  void Execute();
  void SignaturePhase(IInStream* inStream);
  void ScanRange(uint64_t start, uint64_t count);
  int64_t TryJpegAt(uint64_t offset);
  int64_t ExamineJpeg(uint64_t offset);
  void RecordScanMarker(uint64_t offset);
  // The same with the bytes from offset on at hand in memory (available of them), as the
  // signature search has them.
  void RecordScanMarker(uint64_t offset, const uint8_t* bytes, int64_t available);
  void CollectHeaders();
  void AnalyseScanMarkers();
  // A deep scan's search for the pieces of fragmented photos (fragment_phase.cpp): every photo
  // found gets its Fragments; a broken one is followed across the card and, when its data goes
  // on elsewhere, read through a view of its pieces.
  void FollowFragmentsPhase();
  // Reference files (reference_headers.cpp): their header sets join ScanHeaders before the
  // scan-marker phase; where no scan header of the file serves, their own scan header is tried
  // on the data from DataOffset or from the first run of restart markers.
  void AddReferenceHeaders();
  void TryReferencesWithoutMarker();
  // The first restart marker at or after from, outside every found JPEG, that the next
  // restart markers follow in order (chance FF Dx pairs in overwritten bytes are passed over);
  // -1 when there is none.
  int64_t FindRestartRun(uint64_t from);
  // One more item made with a header set of the reference origin (nothing for the file's own).
  void CountReferenceItem(const std::string& origin);
  // Tries header set id on the data of stream at offset (resumed at the scan, as for a scan
  // marker); an item that decodes anything goes into the "0x..." folder of that offset.
  // Returns the bytes of data the decoding consumed, 0 when nothing decoded.
  int64_t TryHeaderSet(const TkelJpegID& id, const std::string& origin, TStream& stream, uint64_t offset,
                       TvtSOSFolder*& folder);

 private:
  void QueueMessage(const std::string& text);
  void SetPhase(int32_t phase, uint64_t total);
  static uint32_t TickCount();

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Days since 1899-12-30 (time of day as the fraction) of an Exif date; 0 for none.
struct TkelDateTime;
double DateTimeToDays(const TkelDateTime& dt);

}  // namespace vt
