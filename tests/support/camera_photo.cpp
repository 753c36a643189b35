#include "support/camera_photo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace vt::test {

namespace {

// ---- noise ----

uint32_t Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^ static_cast<uint32_t>(y) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

float Lattice(int32_t x, int32_t y, uint32_t seed) { return static_cast<float>(Hash(x, y, seed) >> 8) * (1.0f / 16777216.0f); }

// Smoothly interpolated lattice noise in [0, 1).
float ValueNoise(float x, float y, uint32_t seed) {
  const float fx0 = std::floor(x), fy0 = std::floor(y);
  const auto x0 = static_cast<int32_t>(fx0), y0 = static_cast<int32_t>(fy0);
  float fx = x - fx0, fy = y - fy0;
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  const float a = Lattice(x0, y0, seed), b = Lattice(x0 + 1, y0, seed);
  const float c = Lattice(x0, y0 + 1, seed), d = Lattice(x0 + 1, y0 + 1, seed);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Octaves of value noise, each twice the frequency and half the weight; about [0, 1).
float Fractal(float x, float y, int octaves, uint32_t seed) {
  float sum = 0, weight = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += weight * ValueNoise(x, y, seed + static_cast<uint32_t>(o) * 101u);
    total += weight;
    weight *= 0.5f;
    x *= 2.03f;
    y *= 2.03f;
  }
  return sum / total;
}

float SmoothStep(float e0, float e1, float v) {
  const float t = std::clamp((v - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

struct TRgb {
  float R = 0, G = 0, B = 0;
};

TRgb Mix(TRgb a, TRgb b, float t) { return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t}; }

struct TRandom {
  uint32_t State;
  explicit TRandom(uint32_t seed) : State(seed * 2654435761u + 0x6D2B79F5u) {}
  uint32_t Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State;
  }
  float Unit() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
  float Between(float a, float b) { return a + (b - a) * Unit(); }
  // About normal with the given deviation (a sum of four uniforms).
  float Normal(float deviation) { return (Unit() + Unit() + Unit() + Unit() - 2.0f) * 1.732f * deviation; }
};

// ---- the objects of the scene ----

struct TShape {
  bool Building = false;   // a rectangle with a grid of windows; otherwise an ellipse (tree, rock)
  float X0, Y0, X1, Y1;    // bounding box, pixels
  TRgb Colour, Shade;      // lit and shaded colour
  float Texture;           // amplitude of its surface texture
  float WindowW, WindowH;  // window grid period (buildings)
  TRgb WindowColour;
  uint32_t Seed;
};

struct TLine {
  float X0, Y0, X1, Y1, Width;
  TRgb Colour;
};

// How much of the pixel (x, y) the shape covers (0..1, edges a pixel wide), and its colour there.
float Cover(const TShape& s, float x, float y, TRgb& colour) {
  if (x < s.X0 - 1 || x > s.X1 + 1 || y < s.Y0 - 1 || y > s.Y1 + 1) return 0;
  float cover;
  const float u = (x - s.X0) / (s.X1 - s.X0), v = (y - s.Y0) / (s.Y1 - s.Y0);
  if (s.Building) {
    const float inside = std::min({x - s.X0, s.X1 - x, y - s.Y0, s.Y1 - y});
    cover = std::clamp(inside + 0.5f, 0.0f, 1.0f);
  } else {
    const float rx = (s.X1 - s.X0) / 2, ry = (s.Y1 - s.Y0) / 2;
    const float dx = (x - s.X0 - rx) / rx, dy = (y - s.Y0 - ry) / ry;
    // A ragged outline: the radius varies with the angle.
    const float angle = std::atan2(dy, dx);
    const float ragged = 1.0f - 0.12f * ValueNoise(angle * 3.0f + 10, 0.5f, s.Seed);
    const float d = std::sqrt(dx * dx + dy * dy);
    cover = std::clamp((ragged - d) * std::min(rx, ry) + 0.5f, 0.0f, 1.0f);
  }
  if (cover <= 0) return 0;
  // Lit from the upper left.
  TRgb c = Mix(s.Colour, s.Shade, std::clamp(0.6f * u + 0.5f * v, 0.0f, 1.0f));
  const float t = (Fractal(x * 0.15f, y * 0.15f, 3, s.Seed) - 0.5f) * s.Texture;
  c = {c.R + t, c.G + t, c.B + t};
  if (s.Building) {
    const float gx = std::fmod(x - s.X0, s.WindowW) / s.WindowW, gy = std::fmod(y - s.Y0, s.WindowH) / s.WindowH;
    if (gx > 0.3f && gx < 0.8f && gy > 0.25f && gy < 0.75f && v > 0.08f) {
      const float lit = Lattice(static_cast<int32_t>((x - s.X0) / s.WindowW), static_cast<int32_t>((y - s.Y0) / s.WindowH), s.Seed);
      c = lit > 0.7f ? TRgb{230, 210, 150} : s.WindowColour;
    }
    if (v < 0.06f) c = {c.R * 0.55f, c.G * 0.5f, c.B * 0.5f};  // roof edge
  }
  colour = c;
  return cover;
}

float LineCover(const TLine& l, float x, float y) {
  const float vx = l.X1 - l.X0, vy = l.Y1 - l.Y0;
  const float len2 = vx * vx + vy * vy;
  const float t = std::clamp(((x - l.X0) * vx + (y - l.Y0) * vy) / len2, 0.0f, 1.0f);
  const float dx = x - (l.X0 + t * vx), dy = y - (l.Y0 + t * vy);
  return std::clamp(l.Width / 2 - std::sqrt(dx * dx + dy * dy) + 0.5f, 0.0f, 1.0f);
}

uint8_t Clamp8(float v) { return static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255)); }

// ---- orientation on RGB pixels ----

Bytes FlipHorizontal(const Bytes& rgb, int w, int h) {
  Bytes out(rgb.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::copy_n(&rgb[(size_t(y) * w + x) * 3], 3, &out[(size_t(y) * w + (w - 1 - x)) * 3]);
  return out;
}

Bytes TurnHalf(const Bytes& rgb, int w, int h) {
  Bytes out(rgb.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::copy_n(&rgb[(size_t(y) * w + x) * 3], 3, &out[(size_t(h - 1 - y) * w + (w - 1 - x)) * 3]);
  return out;
}

// Clockwise: the pixel (x, y) goes to (h - 1 - y, x) of an h-wide picture.
Bytes TurnClockwise(const Bytes& rgb, int& w, int& h) {
  Bytes out(rgb.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::copy_n(&rgb[(size_t(y) * w + x) * 3], 3, &out[(size_t(x) * h + (h - 1 - y)) * 3]);
  std::swap(w, h);
  return out;
}

Bytes TurnCounterClockwise(const Bytes& rgb, int& w, int& h) {
  Bytes out(rgb.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::copy_n(&rgb[(size_t(y) * w + x) * 3], 3, &out[(size_t(w - 1 - x) * h + y) * 3]);
  std::swap(w, h);
  return out;
}

void WritePpm(const std::string& path, const Bytes& rgb, int w, int h) {
  const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes out(header.begin(), header.end());
  out.insert(out.end(), rgb.begin(), rgb.end());
  WriteBytes(path, out);
}

int InverseCode(int code) { return code == 5 ? 7 : code == 7 ? 5 : code; }

}  // namespace

const char* RestartKindName(TRestartKind kind) {
  switch (kind) {
    case TRestartKind::None: return "none";
    case TRestartKind::OneMCU: return "1 MCU";
    case TRestartKind::FourMCUs: return "4 MCUs";
    case TRestartKind::OneRow: return "1 row";
  }
  return "?";
}

std::string RestartArgument(TRestartKind kind) {
  switch (kind) {
    case TRestartKind::None: return "";
    case TRestartKind::OneMCU: return "-restart 1B";
    case TRestartKind::FourMCUs: return "-restart 4B";
    case TRestartKind::OneRow: return "-restart 1";
  }
  return "";
}

Bytes CameraSceneRgb(int width, int height, uint32_t seed) {
  if (width <= 0 || height <= 0) return {};
  TRandom random(seed);
  const float W = static_cast<float>(width), H = static_cast<float>(height);
  const float scale = std::min(W, H) / 480.0f;  // features keep their share of the picture at any size

  // The ridge between sky and ground, per column.
  const float horizon = random.Between(0.3f, 0.45f);
  std::vector<float> ridge(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    ridge[size_t(x)] = H * (horizon + 0.16f * (Fractal(x / W * 5.0f, 0.5f, 6, seed + 7) - 0.5f));

  const TRgb skyTop{random.Between(25, 60), random.Between(70, 110), random.Between(150, 200)};
  const TRgb skyLow{random.Between(160, 200), random.Between(190, 215), random.Between(215, 240)};
  const TRgb cloud{235, 236, 240}, cloudShade{150, 155, 170};
  const TRgb grounds[3] = {{random.Between(45, 75), random.Between(85, 115), random.Between(30, 50)},
                           {random.Between(110, 140), random.Between(85, 105), random.Between(55, 70)},
                           {random.Between(160, 185), random.Between(150, 170), random.Between(80, 100)}};

  std::vector<TShape> shapes;
  const int shapeCount = 6 + static_cast<int>(random.Next() % 5);
  for (int i = 0; i < shapeCount; ++i) {
    TShape s;
    s.Building = random.Unit() < 0.45f;
    const float w = random.Between(0.06f, 0.22f) * W, h = s.Building ? random.Between(0.12f, 0.35f) * H : w * random.Between(0.6f, 1.3f);
    const float base = H * random.Between(horizon + 0.1f, 0.98f);  // where it stands
    s.X0 = random.Between(-0.05f, 1.0f) * W;
    s.X1 = s.X0 + w;
    s.Y1 = base;
    s.Y0 = base - h;
    const float hue = random.Unit();
    s.Colour = hue < 0.33f ? TRgb{random.Between(150, 230), random.Between(130, 200), random.Between(100, 170)}
               : hue < 0.66f ? TRgb{random.Between(40, 90), random.Between(90, 150), random.Between(30, 70)}
                             : TRgb{random.Between(120, 200), random.Between(40, 90), random.Between(30, 70)};
    s.Shade = {s.Colour.R * 0.45f, s.Colour.G * 0.45f, s.Colour.B * 0.5f};
    s.Texture = random.Between(15, 60);
    s.WindowW = random.Between(8, 18) * scale;
    s.WindowH = random.Between(10, 22) * scale;
    s.WindowColour = {random.Between(20, 60), random.Between(30, 70), random.Between(50, 90)};
    s.Seed = seed * 31u + static_cast<uint32_t>(i);
    shapes.push_back(s);
  }
  // Nearer objects (lower in the picture) are drawn over farther ones.
  std::sort(shapes.begin(), shapes.end(), [](const TShape& a, const TShape& b) { return a.Y1 < b.Y1; });
  std::vector<TLine> lines;
  for (int i = 0; i < 3; ++i) {
    const float x = random.Unit() * W;
    lines.push_back({x, H * random.Between(0.1f, 0.4f), x + random.Between(-0.05f, 0.05f) * W, H * random.Between(0.7f, 1.0f),
                     random.Between(1.5f, 4.0f) * scale, {random.Between(20, 50), random.Between(20, 40), random.Between(15, 35)}});
  }
  lines.push_back({0, H * random.Between(0.15f, 0.3f), W, H * random.Between(0.15f, 0.3f), 1.2f * scale, {30, 30, 35}});

  Bytes rgb(static_cast<size_t>(width) * height * 3);
  TRandom grain(seed ^ 0xA5A5A5A5u);
  const float cx = W / 2, cy = H / 2, corner2 = cx * cx + cy * cy;
  for (int y = 0; y < height; ++y) {
    const float fy = static_cast<float>(y);
    for (int x = 0; x < width; ++x) {
      const float fx = static_cast<float>(x);
      const float r = ridge[size_t(x)];
      TRgb c;
      if (fy < r) {
        const float t = fy / std::max(r, 1.0f);
        c = Mix(skyTop, skyLow, t * t);
        const float n = Fractal(fx / W * 4.0f, fy / H * 9.0f, 6, seed + 11);
        const float cloudiness = SmoothStep(0.52f, 0.72f, n);
        if (cloudiness > 0) {
          const float shade = Fractal(fx / W * 9.0f, fy / H * 18.0f, 4, seed + 13);
          c = Mix(c, Mix(cloud, cloudShade, SmoothStep(0.35f, 0.75f, shade)), cloudiness);
        }
      } else {
        const float depth = std::clamp((fy - r) / std::max(H - r, 1.0f), 0.0f, 1.0f);
        const float field = Fractal(fx / W * 6.0f, fy / H * 10.0f, 5, seed + 17);
        c = field < 0.5f ? Mix(grounds[0], grounds[1], SmoothStep(0.3f, 0.5f, field))
                         : Mix(grounds[1], grounds[2], SmoothStep(0.5f, 0.7f, field));
        // Grass and soil: finer and stronger towards the viewer, rows of a field in the middle.
        const float grainSize = 0.5f + 4.0f * (1 - depth);
        const float grass = (Fractal(fx / grainSize, fy / (grainSize * 0.5f + 0.5f), 3, seed + 19) - 0.5f) * (20 + 50 * depth);
        const float rows = field > 0.45f && field < 0.6f && depth > 0.35f
                               ? 12 * std::sin(fy * (0.5f / scale) / depth + fx * 0.02f / scale) : 0;
        c = {c.R + grass + rows, c.G + grass * 1.1f + rows, c.B + grass * 0.8f + rows};
        const float haze = std::pow(1 - depth, 6.0f) * 0.6f;  // distance fades into the sky
        c = Mix(c, skyLow, haze);
      }
      for (const TShape& s : shapes) {
        TRgb sc;
        const float cover = Cover(s, fx, fy, sc);
        if (cover > 0) c = Mix(c, sc, cover);
      }
      for (const TLine& l : lines) {
        const float cover = LineCover(l, fx, fy);
        if (cover > 0) c = Mix(c, l.Colour, cover);
      }
      const float dx = fx - cx, dy = fy - cy;
      const float vignette = 1.0f - 0.28f * (dx * dx + dy * dy) / corner2;
      // Sensor noise after the camera's noise reduction: a little luma grain, less colour.
      const float luma = grain.Normal(1.2f);
      uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
      p[0] = Clamp8(c.R * vignette + luma + grain.Normal(0.5f));
      p[1] = Clamp8(c.G * vignette + luma);
      p[2] = Clamp8(c.B * vignette + luma + grain.Normal(0.5f));
    }
  }
  return rgb;
}

Bytes OrientRgb(const Bytes& rgb, int& width, int& height, int code) {
  switch (code) {
    case 1: return FlipHorizontal(rgb, width, height);
    case 2: return TurnHalf(rgb, width, height);
    case 3: return FlipHorizontal(TurnHalf(rgb, width, height), width, height);
    case 4: {
      Bytes t = TurnClockwise(rgb, width, height);
      return FlipHorizontal(t, width, height);
    }
    case 5: return TurnClockwise(rgb, width, height);
    case 6: {
      Bytes t = TurnCounterClockwise(rgb, width, height);
      return FlipHorizontal(t, width, height);
    }
    case 7: return TurnCounterClockwise(rgb, width, height);
    default: return rgb;
  }
}

Bytes CameraThumbnailRgb(const Bytes& sceneRgb, const TCameraPhotoOptions& o, int& width, int& height) {
  // 160 x 120 for 4:3; otherwise the picture's proportions inside 160 x 160.
  width = 160;
  height = static_cast<int>(std::lround(160.0 * o.Height / o.Width));
  if (height > 160) {
    height = 160;
    width = std::max(1, static_cast<int>(std::lround(160.0 * o.Width / o.Height)));
  }
  height = std::max(1, height);
  Bytes out(static_cast<size_t>(width) * height * 3);
  for (int ty = 0; ty < height; ++ty) {
    const int y0 = static_cast<int>(int64_t(ty) * o.Height / height), y1 = std::max(y0 + 1, static_cast<int>(int64_t(ty + 1) * o.Height / height));
    for (int tx = 0; tx < width; ++tx) {
      const int x0 = static_cast<int>(int64_t(tx) * o.Width / width), x1 = std::max(x0 + 1, static_cast<int>(int64_t(tx + 1) * o.Width / width));
      int64_t sum[3] = {0, 0, 0};
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
          for (int k = 0; k < 3; ++k) sum[k] += sceneRgb[(size_t(y) * o.Width + x) * 3 + k];
      const int64_t n = int64_t(y1 - y0) * (x1 - x0);
      for (int k = 0; k < 3; ++k) out[(size_t(ty) * width + tx) * 3 + k] = static_cast<uint8_t>((sum[k] + n / 2) / n);
    }
  }
  return OrientRgb(out, width, height, InverseCode(o.ThumbTurn));
}

bool CameraPhotosPossible() { return std::string(VT_EXIFTOOL).size() > 0; }

Bytes CameraPhoto(const TCameraPhotoOptions& o) {
  using Key = std::tuple<int, int, uint32_t, int, bool, int, bool, int, int>;
  static std::mutex mutex;
  static std::map<Key, Bytes> made;
  const Key key{o.Width, o.Height, o.Seed, o.Quality, o.Sample422, static_cast<int>(o.Restart), o.Thumbnail, o.ExifOrientation, o.ThumbTurn};
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = made.find(key);
    if (it != made.end()) return it->second;
  }
  if ((o.Thumbnail || o.ExifOrientation != 0) && !CameraPhotosPossible())
    throw std::runtime_error("exiftool is not installed");

  const Bytes scene = CameraSceneRgb(o.Width, o.Height, o.Seed);
  const std::string ppm = TempPath(".ppm");
  WritePpm(ppm, scene, o.Width, o.Height);
  // Standard Huffman tables (no -optimize), as cameras write them.
  const std::string args = "-quality " + std::to_string(o.Quality) + (o.Sample422 ? " -sample 2x1 " : " -sample 2x2 ") +
                           RestartArgument(o.Restart);
  const std::string path = TempPath(".jpg");
  WriteBytes(path, CjpegFile(args, ppm));
  std::remove(ppm.c_str());

  std::string tags;
  std::string thumbPath;
  if (o.Thumbnail) {
    int tw = 0, th = 0;
    const Bytes thumb = CameraThumbnailRgb(scene, o, tw, th);
    const std::string thumbPpm = TempPath(".ppm");
    WritePpm(thumbPpm, thumb, tw, th);
    thumbPath = TempPath(".jpg");
    WriteBytes(thumbPath, CjpegFile("-quality 85 -sample 2x1", thumbPpm));
    std::remove(thumbPpm.c_str());
    tags += " " + Quote("-ThumbnailImage<=" + thumbPath);
  }
  if (o.ExifOrientation != 0) tags += " -n -Orientation=" + std::to_string(o.ExifOrientation);
  if (!tags.empty()) {
    // A camera writes Exif and no JFIF segment.
    const std::string cmd = std::string(VT_EXIFTOOL) + " -q -q -overwrite_original -JFIF:All= -Make=Vantrelle " +
                            "-Model=" + Quote("Lab Camera") + tags + " " + Quote(path) + " 2>&1";
    std::string output;
    if (RunCommand(cmd, &output) != 0) throw std::runtime_error("exiftool failed: " + cmd + "\n" + output);
  }
  Bytes jpeg = ReadBytes(path);
  std::remove(path.c_str());
  if (!thumbPath.empty()) std::remove(thumbPath.c_str());
  std::lock_guard<std::mutex> lock(mutex);
  made.emplace(key, jpeg);
  return jpeg;
}

}  // namespace vt::test
