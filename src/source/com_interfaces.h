// The COM-style interfaces through which the opened file is read: the system's IStream
// pair and the stream interfaces of the 7-Zip SDK. Every operation returns a 32-bit result
// code (base/result_codes.h). Interfaces are reference counted; TComPtr holds one count.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/result_codes.h"

namespace vt {

struct TGUID {
  uint32_t D1;
  uint16_t D2, D3;
  uint8_t D4[8];
  bool operator==(const TGUID& o) const;
};

extern const TGUID IID_IUnknown;
extern const TGUID IID_IStream;
extern const TGUID IID_ISequentialStream;
extern const TGUID IID_Ikel7zFileStream;
extern const TGUID IID_IOutStream;
extern const TGUID IID_ISequentialOutStream;
extern const TGUID IID_IStreamGetSize;
extern const TGUID IID_IInStream;
extern const TGUID IID_ISequentialInStream;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class ISequentialStream : public IUnknown {
 public:
  virtual HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) = 0;
  virtual HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct TStatStg;  // never filled: Stat is not implemented

class IStream : public ISequentialStream {
 public:
  virtual HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t newSize) = 0;
  virtual HRESULT CopyTo(IStream* dest, uint64_t count, uint64_t* read, uint64_t* written) = 0;
  virtual HRESULT Commit(uint32_t flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(uint64_t offset, uint64_t count, uint32_t lockType) = 0;
  virtual HRESULT UnlockRegion(uint64_t offset, uint64_t count, uint32_t lockType) = 0;
  virtual HRESULT Stat(TStatStg* stat, uint32_t flags) = 0;
  virtual HRESULT Clone(IStream** result) = 0;

 protected:
  ~IStream() = default;
};

class ISequentialInStream : public IUnknown {
 public:
  virtual HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) = 0;

 protected:
  ~ISequentialInStream() = default;
};

class IInStream : public ISequentialInStream {
 public:
  // origin: 0 start, 1 current, 2 end.
  virtual HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) = 0;

 protected:
  ~IInStream() = default;
};

class ISequentialOutStream : public IUnknown {
 public:
  virtual HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) = 0;

 protected:
  ~ISequentialOutStream() = default;
};

class IOutStream : public ISequentialOutStream {
 public:
  virtual HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t newSize) = 0;

 protected:
  ~IOutStream() = default;
};

class IStreamGetSize : public IUnknown {
 public:
  virtual HRESULT GetSize(uint64_t* size) = 0;

 protected:
  ~IStreamGetSize() = default;
};

class Ikel7zFileStream : public IUnknown {
 public:
  virtual std::string GetFileName() = 0;
  // Copies the whole file from its start to dest; raises on failure; returns the bytes copied.
  virtual uint64_t CopyToStream(ISequentialOutStream* dest, uint8_t* buffer, uint32_t bufferSize) = 0;
  virtual uint64_t CopyAllToStream(ISequentialOutStream* dest) = 0;

 protected:
  ~Ikel7zFileStream() = default;
};

// Holds one reference count on an interface.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  explicit TComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  TComPtr(const TComPtr& o) : TComPtr(o.p_) {}
  TComPtr(TComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  TComPtr& operator=(TComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~TComPtr() { Reset(); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Asks any interface for another one; empty when it is not supported.
  template <class From>
  static TComPtr Query(From* from, const TGUID& iid) {
    TComPtr r;
    void* obj = nullptr;
    if (from && from->QueryInterface(iid, &obj) == S_OK) r.p_ = static_cast<T*>(obj);
    return r;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace vt
