#include "source/disc_source.h"

#include <chrono>
#include <thread>

#include "source/disc_source_thread.h"

namespace vt {

TvtDiscSource::TvtDiscSource() : root_(std::make_unique<TvtRootFolder>()) {}

TvtDiscSource::~TvtDiscSource() { Close(); }

void TvtDiscSource::Open(const std::string& fileName) {
  if (fileName.empty()) return;
  Close();
  FileName = fileName;
  LastError.clear();
  root_->Build();
  PreviewStore = std::make_unique<TMemoryStream>();
  ExtractStore = std::make_unique<TMemoryStream>();
  Cancelled = false;
  UsedClusterBytes = 0;
  Thread = std::make_unique<TvtDiscSourceThread>(*this);
  if (OnProgress) {
    auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (!Thread->Finished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (Thread->Finished() || std::chrono::steady_clock::now() < next) continue;
      next += std::chrono::milliseconds(100);
      for (std::string& text : Thread->TakeMessages()) PolledMessages.push_back(std::move(text));
      if (!OnProgress(Thread->ProgressPercent(), Thread->CurrentPhase())) {
        Thread->Terminate();
        Cancelled = true;
        break;
      }
    }
  }
  Thread->WaitFor();
  LastError = Thread->ErrorMessage;
  Poll();
}

void TvtDiscSource::Close() {
  if (Thread) {
    Thread->Terminate();
    Thread->WaitFor();
    Thread.reset();
  }
  root_->Clear();
  ScanHeaders.Clear();
  ReferenceResults.clear();
  PreviewStore.reset();
  ExtractStore.reset();
  InStream.Reset();
  Stream.reset();
  ScanMarkers.Clear();
}

void TvtDiscSource::Poll() {
  if (!Thread) return;
  if (Thread->Finished()) {
    Thread->WaitFor();
    Thread.reset();
    return;
  }
  for (auto& text : Thread->TakeMessages()) PolledMessages.push_back(std::move(text));
  ProgressPercent = Thread->ProgressPercent();
}

TvtItem* TvtDiscSource::FirstItem() const {
  if (!root_->All || root_->All->ItemCount() == 0) return nullptr;
  return root_->All->GetItem(0);
}

}  // namespace vt
