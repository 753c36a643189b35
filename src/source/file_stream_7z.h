// Tkel7zFileStream: a reference-counted file object over a POSIX descriptor that exposes the
// file through IStream and the 7-Zip stream interfaces. The interfaces only return result
// codes; opening raises (E_INVALIDARG for a bad Mode word, the OS error otherwise).
#pragma once

#include <cstdint>
#include <string>

#include "source/interfaced_object.h"

namespace vt {

class Tkel7zFileStream : public TkelInterfacedObject,
                         public IStream,
                         public Ikel7zFileStream,
                         public IOutStream,
                         public IStreamGetSize,
                         public IInStream {
 public:
  // Mode, 16 bits in three fields:
  //   access   = Mode & 0xF         0 read, 1 write, 2 read and write;
  //   sharing  = (Mode >> 4) & 0xF  0 and 4 others may read and write, 1 no sharing,
  //                                 2 others may read, 3 others may write;
  //   creation = Mode 0x1000..0x1FFF creates (replaces) the file, below 0x1000 it must exist.
  // Anything else raises E_INVALIDARG. Sharing is honoured with advisory flock() locks: a mode
  // that lets nobody else read takes an exclusive lock, one that only forbids writing a shared
  // lock; a lock held against it fails the open with EWOULDBLOCK. Only regular files open;
  // the open never blocks (FIFOs and devices are refused after a non-blocking open).
  Tkel7zFileStream(const std::string& fileName, uint32_t mode);
  // Adopts an open descriptor; it is closed on destruction when ownsHandle is set.
  Tkel7zFileStream(int handle, bool ownsHandle, const std::string& fileName);
  ~Tkel7zFileStream() override;

  static constexpr uint32_t kModeRead = 0x0000;
  static constexpr uint32_t kModeWrite = 0x0001;
  static constexpr uint32_t kModeReadWrite = 0x0002;
  static constexpr uint32_t kShareDenyNone = 0x0040;
  static constexpr uint32_t kShareExclusive = 0x0010;
  static constexpr uint32_t kShareDenyWrite = 0x0020;
  static constexpr uint32_t kShareDenyRead = 0x0030;
  static constexpr uint32_t kCreate = 0x1000;

  // IUnknown
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return ObjQueryInterface(iid, obj); }
  uint32_t AddRef() override { return ObjAddRef(); }
  uint32_t Release() override { return ObjRelease(); }

  // ISequentialStream / ISequentialInStream / ISequentialOutStream
  HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) override;
  HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) override;
  // IStream / IInStream / IOutStream
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) override;
  HRESULT SetSize(uint64_t) override { return E_NOTIMPL; }
  HRESULT CopyTo(IStream* dest, uint64_t count, uint64_t* read, uint64_t* written) override;
  HRESULT Commit(uint32_t) override { return S_OK; }
  HRESULT Revert() override { return STG_E_REVERTED; }
  HRESULT LockRegion(uint64_t, uint64_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT UnlockRegion(uint64_t, uint64_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT Stat(TStatStg*, uint32_t) override { return E_NOTIMPL; }
  HRESULT Clone(IStream** result) override;
  // IStreamGetSize
  HRESULT GetSize(uint64_t* size) override;
  // Ikel7zFileStream
  std::string GetFileName() override { return FileName; }
  uint64_t CopyToStream(ISequentialOutStream* dest, uint8_t* buffer, uint32_t bufferSize) override;
  uint64_t CopyAllToStream(ISequentialOutStream* dest) override;

  // Reads up to count bytes at offset without moving the file position (pread), so that another
  // thread may read beside the interfaces' reads; returns the bytes read, 0 at the end of the
  // file. A failure raises as a failing Read does through Tvt7zStream.
  int64_t ReadAt(uint64_t offset, void* buffer, int64_t count);

  int Handle() const { return handle_; }
  bool OwnsHandle = true;
  std::string FileName;

 protected:
  IUnknown* GetInterface(const TGUID& iid) override;

 private:
  int handle_ = -1;
};

}  // namespace vt
