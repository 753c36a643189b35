// The four notifications the document sends to its views. A view derives from IvtSourceClient
// and from each notification interface it wants; the document delivers a notification only to
// registered views that implement it, in registration order.
#pragma once

#include <cstdint>

namespace vt {

class TvtThumbSource;

class IvtSourceClient {
 public:
  virtual ~IvtSourceClient() = default;
  // The document is being destroyed; the view must forget it (no further calls to it).
  virtual void SourceDestroyed(TvtThumbSource* /*source*/) {}
};

// A view's link to its document, cleared from either side: the view leaves the document's list
// when it is destroyed or attached elsewhere, and forgets the document when that is destroyed.
class TvtSourceClientLink : public IvtSourceClient {
 public:
  TvtSourceClientLink() = default;
  ~TvtSourceClientLink() override;
  TvtSourceClientLink(const TvtSourceClientLink&) = delete;
  TvtSourceClientLink& operator=(const TvtSourceClientLink&) = delete;

  // Registers with source (null detaches); the same source again does nothing.
  void SetSource(TvtThumbSource* source);
  TvtThumbSource* Source() const { return source_; }
  void SourceDestroyed(TvtThumbSource* source) override;

 private:
  TvtThumbSource* source_ = nullptr;
};

// {4934F0BE-3BD7-4543-8297-F1A952F1CF04}
class IvtSourceMainImageClient {
 public:
  virtual ~IvtSourceMainImageClient() = default;
  // reset: a new document begins (clear and load); false after an edit or a re-render.
  virtual void MainImageChanged(bool reset) = 0;
};

// {E165B866-5535-455D-8ACE-5170D2CE5E25}
class IvtSourceThumbnailsClient {
 public:
  virtual ~IvtSourceThumbnailsClient() = default;
  virtual void ThumbnailsChanged() = 0;
};

// {D22F0BF8-DA67-4B72-AAC8-D2731A801FE5}
class IvtSourceMainThumbClient {
 public:
  virtual ~IvtSourceMainThumbClient() = default;
  virtual void MainThumbChanged() = 0;
};

// {DF719D1D-0BF3-44D8-B03C-773BC58555EF}
class IvtSourceThumbClient {
 public:
  virtual ~IvtSourceThumbClient() = default;
  virtual void ThumbChanged(int32_t index) = 0;
};

}  // namespace vt
