// Camera-like JPEG files made with the peers: a natural-looking picture (sky, a ridge, textured
// ground, objects with hard edges, sensor noise, vignetting), encoded by cjpeg as a camera
// encodes (standard Huffman tables, quality 90-95, 4:2:0 or 4:2:2, restart intervals as cameras
// write them), with an Exif thumbnail written by exiftool and optionally an Orientation tag.
// Everything is deterministic from the options.
#pragma once

#include <cstdint>
#include <string>

#include "support/test_support.h"

namespace vt::test {

enum class TRestartKind { None, OneMCU, FourMCUs, OneRow };

// "none", "1 MCU", "4 MCUs", "1 row".
const char* RestartKindName(TRestartKind kind);
// cjpeg's argument for it: "", "-restart 1B", "-restart 4B", "-restart 1".
std::string RestartArgument(TRestartKind kind);

struct TCameraPhotoOptions {
  int Width = 640;
  int Height = 480;
  uint32_t Seed = 1;
  int Quality = 92;
  bool Sample422 = false;  // 4:2:2 (-sample 2x1); otherwise 4:2:0
  TRestartKind Restart = TRestartKind::None;
  bool Thumbnail = true;   // an Exif thumbnail of 160 x 120 (or the picture's aspect inside 160 x 160)
  int ExifOrientation = 0; // the Orientation tag's value 1..8; 0 writes none
  // The orientation code (0..7, see thumbs/orientation.h) that turns the stored thumbnail into
  // the main picture: a camera that turned its main image but not its preview stores it turned.
  int ThumbTurn = 0;
};

// The scene's pixels: RGB triplets, row by row.
Bytes CameraSceneRgb(int width, int height, uint32_t seed);

// The stored thumbnail's pixels (RGB) and size: the scene scaled down by area averaging, then
// turned by the inverse of options.ThumbTurn.
Bytes CameraThumbnailRgb(const Bytes& sceneRgb, const TCameraPhotoOptions& options, int& width, int& height);

// The JPEG file. Raises std::runtime_error when cjpeg or exiftool fails, or when a thumbnail is
// asked for and exiftool is not installed (see CameraPhotosPossible). Files are kept per
// options for the life of the process, so asking twice costs nothing.
Bytes CameraPhoto(const TCameraPhotoOptions& options);

// False when exiftool is missing (photos without a thumbnail can still be made).
bool CameraPhotosPossible();

// Applies an orientation code to RGB pixels exactly as ApplyOrientation applies it to a bitmap
// (width and height are exchanged for codes 4..7).
Bytes OrientRgb(const Bytes& rgb, int& width, int& height, int code);

}  // namespace vt::test
