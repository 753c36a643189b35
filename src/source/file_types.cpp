#include "source/file_types.h"

#include <cstring>

namespace vt {

namespace {

// A signature: the bytes expected at an offset of the file.
struct TSignature {
  int32_t Offset;
  const char* Bytes;
  int32_t Length;
  const char* Name;
};

// Longer and more specific signatures come before the ones they contain (RIFF WEBP before
// RIFF WAVE, the ISO media brands before their bare "ftyp").
constexpr TSignature kSignatures[] = {
    {0, "\x89PNG\r\n\x1A\n", 8, "a PNG image"},
    {0, "GIF87a", 6, "a GIF image"},
    {0, "GIF89a", 6, "a GIF image"},
    {8, "WEBP", 4, "a WebP image"},
    {8, "AVI ", 4, "an AVI video"},
    {8, "WAVE", 4, "a WAV sound file"},
    {4, "ftypheic", 8, "a HEIF image (HEIC)"},
    {4, "ftypheix", 8, "a HEIF image (HEIC)"},
    {4, "ftypmif1", 8, "a HEIF image"},
    {4, "ftypavif", 8, "an AVIF image"},
    {4, "ftypcrx ", 8, "a Canon raw photo (CR3)"},
    {4, "ftypqt  ", 8, "a QuickTime video"},
    {4, "ftyp", 4, "an MP4 video"},
    {0, "FUJIFILMCCD-RAW", 15, "a Fujifilm raw photo (RAF)"},
    {0, "IIRO\x08\x00\x00\x00", 8, "an Olympus raw photo (ORF)"},
    {0, "IIU\x00", 4, "a Panasonic raw photo (RW2)"},
    {0, "II*\x00\x10\x00\x00\x00" "CR", 10, "a Canon raw photo (CR2)"},
    {0, "II*\x00", 4, "a TIFF image (or a camera raw photo)"},
    {0, "MM\x00*", 4, "a TIFF image (or a camera raw photo)"},
    {0, "\x00\x00\x00\x0CjP  \r\n\x87\n", 12, "a JPEG 2000 image"},
    {0, "\xFF\x0A", 2, "a JPEG XL image"},
    {0, "8BPS", 4, "a Photoshop document"},
    {0, "%PDF-", 5, "a PDF document"},
    {0, "PK\x03\x04", 4, "a ZIP archive (or an office document)"},
    {0, "7z\xBC\xAF\x27\x1C", 6, "a 7-Zip archive"},
    {0, "Rar!\x1A\x07", 6, "a RAR archive"},
    {0, "\x1F\x8B", 2, "a gzip archive"},
    {0, "ID3", 3, "an MP3 sound file"},
    {0, "\x1A\x45\xDF\xA3", 4, "a Matroska or WebM video"},
    {0, "\x7F" "ELF", 4, "a program (ELF)"},
};

bool Matches(const TSignature& s, const uint8_t* head, int64_t count) {
  if (s.Offset + s.Length > count) return false;
  return std::memcmp(head + s.Offset, s.Bytes, static_cast<size_t>(s.Length)) == 0;
}

}  // namespace

std::string KnownFileType(const uint8_t* head, int64_t count) {
  if (head == nullptr || count <= 0) return {};
  // RIFF containers say what they hold at byte 8; only a RIFF file is judged by that.
  const bool riff = count >= 12 && std::memcmp(head, "RIFF", 4) == 0;
  for (const TSignature& s : kSignatures) {
    if (s.Offset == 8 && !riff) continue;
    if (Matches(s, head, count)) return s.Name;
  }
  // "BM" alone starts too many texts: a bitmap file also gives the size of its info header,
  // one of the few the format knows, at byte 14.
  if (count >= 16 && head[0] == 'B' && head[1] == 'M' && head[15] == 0 &&
      (head[14] == 12 || head[14] == 40 || head[14] == 52 || head[14] == 56 || head[14] == 64 ||
       head[14] == 108 || head[14] == 124))
    return "a BMP image";
  return {};
}

}  // namespace vt
