#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "source/file_stream_7z.h"
#include "source/stream_7z.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Bytes;

Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  return b;
}

std::string fileWith(const Bytes& bytes) {
  const std::string path = test::TempPath(".bin");
  test::WriteBytes(path, bytes);
  return path;
}

// Holds a new file object the way callers do: through one counted interface.
TComPtr<IInStream> openIn(const std::string& path, uint32_t mode = 0x20) {
  auto* f = new Tkel7zFileStream(path, mode);
  return TComPtr<IInStream>(static_cast<IInStream*>(f));
}

class FileStreamBadMode : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FileStreamBadMode, RaisesInvalidArgument) {
  const std::string path = fileWith(pattern(10));
  try {
    Tkel7zFileStream f(path, GetParam());
    FAIL() << "opened with mode " << std::hex << GetParam();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, E_INVALIDARG);
  }
}

INSTANTIATE_TEST_SUITE_P(AccessSharingCreation, FileStreamBadMode,
                         ::testing::Values(0x03u, 0x25u, 0x0Fu, 0x50u, 0xF0u, 0x2000u, 0xFF00u, 0x1053u));

TEST(FileStream, AcceptsEveryValidAccessAndSharing) {
  const std::string path = fileWith(pattern(10));
  for (uint32_t access : {0u, 1u, 2u}) {
    for (uint32_t sharing : {0u, 2u, 3u, 4u}) {
      EXPECT_NO_THROW({ Tkel7zFileStream f(path, access | sharing << 4); }) << access << " " << sharing;
    }
  }
}

TEST(FileStream, MissingFileDirectoryAndFifoRaiseTheOsErrorWithoutBlocking) {
  const std::string missing = test::TempPath(".none");
  try {
    Tkel7zFileStream f(missing, 0x20);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_STREQ(e.what(), std::strerror(ENOENT));
  }
  EXPECT_EQ(access(missing.c_str(), F_OK), -1) << "a must-exist open created the file";

  try {
    Tkel7zFileStream f(test::TempDir(), 0x20);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EISDIR);
  }

  const std::string fifo = test::TempPath(".fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(Tkel7zFileStream(fifo, 0x20), EOSError);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  EXPECT_THROW(Tkel7zFileStream("/dev/null", 0x20), EOSError);
}

TEST(FileStream, UnreadableFileRaisesPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string path = fileWith(pattern(10));
  chmod(path.c_str(), 0200);
  try {
    Tkel7zFileStream f(path, 0x20);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EACCES);
  }
}

TEST(FileStream, CreateModeReplacesTheFile) {
  const std::string path = fileWith(pattern(100));
  {
    Tkel7zFileStream f(path, 0x1001);
    uint32_t written = 0;
    const uint8_t abc[3] = {'a', 'b', 'c'};
    EXPECT_EQ(f.Write(abc, 3, &written), S_OK);
    EXPECT_EQ(written, 3u);
  }
  EXPECT_EQ(test::ReadBytes(path), (Bytes{'a', 'b', 'c'}));
  const std::string fresh = test::TempPath(".new");
  { Tkel7zFileStream f(fresh, 0x1000); }
  EXPECT_EQ(access(fresh.c_str(), F_OK), 0);
}

TEST(FileStream, ExclusiveSharingRefusesASecondOpenWhileHeld) {
  const std::string path = fileWith(pattern(10));
  auto first = openIn(path, 0x10);  // no sharing
  try {
    Tkel7zFileStream second(path, 0x20);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EWOULDBLOCK);
  }
  first.Reset();
  EXPECT_NO_THROW(Tkel7zFileStream(path, 0x20));
  // Two readers that both let others read share the file.
  auto a = openIn(path, 0x20);
  EXPECT_NO_THROW(Tkel7zFileStream(path, 0x20));
}

TEST(FileStream, ReadSeekAndSizeReportResultCodes) {
  const Bytes data = pattern(1000);
  auto in = openIn(fileWith(data));
  uint8_t buf[600];
  uint32_t got = 99;
  EXPECT_EQ(in->Read(buf, 0, &got), S_OK);
  EXPECT_EQ(got, 0u);
  uint64_t pos = 0;
  EXPECT_EQ(in->Seek(0, 1, &pos), S_OK);
  EXPECT_EQ(pos, 0u) << "a 0-byte read moved the file";

  EXPECT_EQ(in->Seek(700, 0, &pos), S_OK);
  EXPECT_EQ(in->Read(buf, 600, &got), S_OK);
  EXPECT_EQ(got, 300u);
  EXPECT_EQ(0, std::memcmp(buf, data.data() + 700, 300));
  EXPECT_EQ(in->Read(buf, 600, &got), S_OK);
  EXPECT_EQ(got, 0u);

  auto sized = TComPtr<IStreamGetSize>::Query(in.Get(), IID_IStreamGetSize);
  ASSERT_TRUE(sized);
  EXPECT_EQ(in->Seek(123, 0, nullptr), S_OK);
  uint64_t size = 0;
  EXPECT_EQ(sized->GetSize(&size), S_OK);
  EXPECT_EQ(size, 1000u);
  EXPECT_EQ(in->Seek(0, 1, &pos), S_OK);
  EXPECT_EQ(pos, 123u) << "GetSize did not put the position back";

  EXPECT_EQ(in->Seek(-5, 0, &pos), static_cast<HRESULT>(0x80070000u | EINVAL));
  EXPECT_EQ(in->Seek(0, 3, &pos), static_cast<HRESULT>(0x80070000u | EINVAL));

  // Writing through a read-only descriptor fails with EBADF as a result code.
  auto out = TComPtr<ISequentialOutStream>::Query(in.Get(), IID_ISequentialOutStream);
  ASSERT_TRUE(out);
  uint32_t written = 77;
  EXPECT_EQ(out->Write(buf, 4, &written), static_cast<HRESULT>(0x80070000u | EBADF));
  EXPECT_EQ(written, 0u);
}

TEST(FileStream, InterfaceTableAndReferenceCount) {
  const std::string path = fileWith(pattern(10));
  auto* f = new Tkel7zFileStream(path, 0x20);
  EXPECT_EQ(f->RefCount(), 0);
  const int fd = f->Handle();
  {
    auto in = TComPtr<IInStream>(static_cast<IInStream*>(f));
    EXPECT_EQ(f->RefCount(), 1);
    for (const TGUID* iid : {&IID_IStream, &IID_ISequentialStream, &IID_Ikel7zFileStream, &IID_IOutStream,
                             &IID_ISequentialOutStream, &IID_IStreamGetSize, &IID_IInStream,
                             &IID_ISequentialInStream, &IID_IUnknown}) {
      auto any = TComPtr<IUnknown>::Query(in.Get(), *iid);
      EXPECT_TRUE(any);
      EXPECT_EQ(f->RefCount(), 2);
    }
    const TGUID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    void* obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(in->QueryInterface(other, &obj), E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    auto named = TComPtr<Ikel7zFileStream>::Query(in.Get(), IID_Ikel7zFileStream);
    EXPECT_EQ(named->GetFileName(), path);
    IStream* clone = reinterpret_cast<IStream*>(1);
    auto stream = TComPtr<IStream>::Query(in.Get(), IID_IStream);
    EXPECT_EQ(stream->Clone(&clone), E_NOTIMPL);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(stream->Revert(), STG_E_REVERTED);
    EXPECT_EQ(stream->Commit(0), S_OK);
    EXPECT_EQ(stream->SetSize(5), E_NOTIMPL);
  }
  // The last release destroyed the object and closed its descriptor.
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}

// A destination that takes at most `chunk` bytes per write and can misbehave.
class SinkStream : public IStream, public ISequentialOutStream {
 public:
  HRESULT QueryInterface(const TGUID&, void** obj) override {
    *obj = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  HRESULT Read(void*, uint32_t, uint32_t*) override { return E_NOTIMPL; }
  HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) override {
    if (result != S_OK) return result;
    uint32_t n = std::min(size, chunk);
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes.insert(bytes.end(), p, p + n);
    if (processed) *processed = n + overReport;
    return S_OK;
  }
  HRESULT Seek(int64_t, uint32_t, uint64_t*) override { return E_NOTIMPL; }
  HRESULT SetSize(uint64_t) override { return E_NOTIMPL; }
  HRESULT CopyTo(IStream*, uint64_t, uint64_t*, uint64_t*) override { return E_NOTIMPL; }
  HRESULT Commit(uint32_t) override { return S_OK; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT LockRegion(uint64_t, uint64_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT UnlockRegion(uint64_t, uint64_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT Stat(TStatStg*, uint32_t) override { return E_NOTIMPL; }
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }
  Bytes bytes;
  uint32_t chunk = UINT32_MAX;
  uint32_t overReport = 0;
  HRESULT result = S_OK;
};

TEST(FileStream, CopyToStreamCopiesTheWholeFileThroughPartialWrites) {
  const Bytes data = pattern(200000);
  Tkel7zFileStream f(fileWith(data), 0x20);
  f.Seek(5000, 0, nullptr);  // the copy starts at 0 whatever the position
  SinkStream sink;
  sink.chunk = 777;
  EXPECT_EQ(f.CopyAllToStream(&sink), 200000u);
  EXPECT_EQ(sink.bytes, data);

  SinkStream refusing;
  refusing.chunk = 0;
  EXPECT_THROW(f.CopyAllToStream(&refusing), EFalseError);
  SinkStream lying;
  lying.overReport = 1;
  try {
    f.CopyAllToStream(&lying);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, E_FAIL);
  }
}

TEST(FileStream, CopyToCountsAndStopsOnDestinationFailures) {
  const Bytes data = pattern(3000);
  Tkel7zFileStream f(fileWith(data), 0x20);
  SinkStream sink;
  uint64_t read = 9, written = 9;
  EXPECT_EQ(f.CopyTo(&sink, 2000, &read, &written), S_OK);
  EXPECT_EQ(read, 2000u);
  EXPECT_EQ(written, 2000u);
  EXPECT_EQ(f.CopyTo(&sink, 5000, &read, &written), S_OK);  // ends early at the end of the file
  EXPECT_EQ(read, 1000u);
  EXPECT_EQ(sink.bytes, data);

  f.Seek(0, 0, nullptr);
  SinkStream falseSink;
  falseSink.result = S_FALSE;
  EXPECT_EQ(f.CopyTo(&falseSink, 10, &read, nullptr), E_FAIL);
  SinkStream failing;
  failing.result = static_cast<HRESULT>(0x80070005u);
  EXPECT_EQ(f.CopyTo(&failing, 10, nullptr, nullptr), static_cast<HRESULT>(0x80070005u));
  SinkStream shortSink;
  shortSink.chunk = 4;
  EXPECT_EQ(f.CopyTo(&shortSink, 10, &read, &written), E_FAIL);
  EXPECT_EQ(read, 10u);
  EXPECT_EQ(written, 4u);
}

TEST(ResultCodes, ChecksAndOsErrorCodes) {
  EXPECT_EQ(HResultFromOsError(0), S_OK);
  EXPECT_EQ(HResultFromOsError(ENOENT), static_cast<HRESULT>(0x80070002u));
  EXPECT_EQ(HResultFromOsError(0x12345), static_cast<HRESULT>(0x80072345u));
  EXPECT_NO_THROW(OleCheckStrict(S_OK));
  try {
    OleCheckStrict(S_FALSE);
    FAIL();
  } catch (const EFalseError& e) {
    EXPECT_STREQ(e.what(), "S_FALSE");
    EXPECT_EQ(e.ErrorCode, 1);
    EXPECT_EQ(e.HelpContext, 0);
  }
  EXPECT_THROW(OleCheckStrict(2), EOleSysError);
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
  EXPECT_EQ(OleCheck(2), 2);
  try {
    OleCheck(HResultFromOsError(EACCES));
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_STREQ(e.what(), std::strerror(EACCES));
  }
}

// An IInStream whose reads follow a script, for the adapter's read rules.
class ScriptedInStream : public IInStream {
 public:
  HRESULT QueryInterface(const TGUID&, void** obj) override {
    *obj = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) override {
    *processed = 0;
    if (step >= script.size()) return S_OK;
    const auto [n, result] = script[step++];
    if (result != S_OK) return result;
    *processed = n;
    std::memset(buffer, 0x5A, std::min(n, size));
    return S_OK;
  }
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) override {
    if (seekResult != S_OK) return seekResult;
    pos = origin == 0 ? offset : origin == 1 ? pos + offset : 500 + offset;
    if (newPosition) *newPosition = static_cast<uint64_t>(pos);
    return S_OK;
  }
  std::vector<std::pair<uint32_t, HRESULT>> script;
  size_t step = 0;
  int64_t pos = 0;
  HRESULT seekResult = S_OK;
  uint32_t refs = 0;
};

TEST(SevenZipStream, ReadsFullyAndRaisesOnlyForFailures) {
  ScriptedInStream in;
  in.pos = 42;
  {
    Tvt7zStream s(&in);
    EXPECT_EQ(in.refs, 1u);
    EXPECT_EQ(s.GetSize(), 500);
    EXPECT_EQ(in.pos, 42) << "the size query moved the stream";
    uint8_t buf[100];
    in.script = {{30, S_OK}, {30, S_OK}, {40, S_OK}};
    EXPECT_EQ(s.Read(buf, 100), 100);
    in.script = {{30, S_OK}, {0, S_OK}};
    in.step = 0;
    EXPECT_EQ(s.Read(buf, 100), 30);  // S_FALSE at the end is not an error for reads
    in.script = {{10, S_OK}, {0, HResultFromOsError(EIO)}};
    in.step = 0;
    EXPECT_THROW(s.Read(buf, 100), EOleSysError);
    in.script = {{200, S_OK}};
    in.step = 0;
    EXPECT_THROW(s.Read(buf, 100), EOleSysError);  // more than asked: E_FAIL
    EXPECT_EQ(s.Seek(7, soBeginning), 7);
    in.seekResult = S_FALSE;
    EXPECT_THROW(s.Seek(7, soBeginning), EFalseError);
    EXPECT_EQ(s.Write(buf, 1), 0);
  }
  EXPECT_EQ(in.refs, 0u);
  in.seekResult = HResultFromOsError(EIO);
  EXPECT_THROW(Tvt7zStream{&in}, EOleSysError);
}

TEST(SevenZipStream, OverAFileObjectReadsTheFile) {
  const Bytes data = pattern(70000);
  auto in = openIn(fileWith(data));
  Tvt7zStream s(in.Get());
  EXPECT_EQ(s.GetSize(), 70000);
  Bytes back(70000);
  EXPECT_EQ(s.Read(back.data(), 70000), 70000);
  EXPECT_EQ(back, data);
  EXPECT_EQ(s.Read(back.data(), 1), 0);
}

}  // namespace
}  // namespace vt
