// TvtDiscSource: turns a file name into items. Open runs a signature search over the start of
// the file on a worker thread and waits for it; a JPEG whose start of image is at byte 0
// becomes an item (with its embedded thumbnails as sub-items) filed into the folder tree.
// The file stays open (read access, others may read) until the next Open or destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "source/buffered_stream.h"
#include "source/com_interfaces.h"
#include "source/folders.h"
#include "source/sos_items.h"

namespace vt {

class TvtDiscSourceThread;

class TvtDiscSource {
 public:
  TvtDiscSource();
  ~TvtDiscSource();
  TvtDiscSource(const TvtDiscSource&) = delete;
  TvtDiscSource& operator=(const TvtDiscSource&) = delete;

  // Sets SaveFolder and the caption; for a non-empty name replaces the previous file's items
  // and streams (callers drop their references first) and scans the new file. Never raises for
  // a file that cannot be read: the root then holds no folder.
  void Open(const std::string& fileName);
  // Ends the worker, frees the items, folders, stores and streams; the file is closed.
  void Close();
  // Frees a finished worker; otherwise takes its queued progress texts into PolledMessages and
  // sets ProgressPercent.
  void Poll();

  TvtRootFolder& Root() { return *root_; }
  // The item Open found: item 0 of "All", or nullptr.
  TvtItem* FirstItem() const;

  std::string FileName;
  TComPtr<IInStream> InStream;
  std::unique_ptr<TvtBufferedStream> Stream;
  std::unique_ptr<TvtDiscSourceThread> Thread;
  std::unique_ptr<TMemoryStream> PreviewStore;
  std::unique_ptr<TMemoryStream> ExtractStore;
  TvtSOSItems ScanHeaders;
  TvtSOSOffsetItems ScanMarkers;

  // Told the window caption for each opened file (the viewer's main window listens).
  std::function<void(const std::string&)> OnCaption;
  std::vector<std::string> PolledMessages;
  int ProgressPercent = 0;
  // Why the last open found nothing it could read (the worker's error message), or empty.
  std::string LastError;

 private:
  std::unique_ptr<TvtRootFolder> root_;
};

}  // namespace vt
