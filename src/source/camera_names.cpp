// Case-insensitive, locale-aware comparison of camera names (UTF-8): both names are decoded,
// folded to lower case and compared by the collation of the user's locale; when that locale
// cannot be had, the classic locale folds ASCII only and the order is by code point.
#include <locale>
#include <string>

#include "source/folders.h"

namespace vt {

namespace {

const std::locale& userLocale() {
  static const std::locale loc = [] {
    try {
      return std::locale("");
    } catch (...) {
      return std::locale::classic();
    }
  }();
  return loc;
}

// UTF-8 to code points; a byte that does not start a valid sequence stands for itself in the
// U+DC80..U+DCFF range, so that every name decodes and distinct names stay distinct.
std::wstring decodeUtf8(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      len = 1;
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
      cp = b & 0x07;
    }
    bool ok = len > 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (c & 0x3F);
    }
    if (ok && len > 1) {
      static const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
    }
    if (!ok) {
      out.push_back(static_cast<wchar_t>(0xDC00 + b));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(cp));
    i += static_cast<size_t>(len);
  }
  return out;
}

std::wstring folded(const std::string& s, const std::locale& loc) {
  std::wstring w = decodeUtf8(s);
  const auto& ctype = std::use_facet<std::ctype<wchar_t>>(loc);
  ctype.tolower(w.data(), w.data() + w.size());
  return w;
}

}  // namespace

int CompareCameraNames(const std::string& a, const std::string& b) {
  const std::locale& loc = userLocale();
  const std::wstring fa = folded(a, loc), fb = folded(b, loc);
  if (fa == fb) return 0;
  int c = 0;
  if (loc != std::locale::classic()) {
    const auto& coll = std::use_facet<std::collate<wchar_t>>(loc);
    c = coll.compare(fa.data(), fa.data() + fa.size(), fb.data(), fb.data() + fb.size());
  }
  // Names that collate alike but differ stay apart, in code point order.
  if (c == 0) c = fa < fb ? -1 : 1;
  return c < 0 ? -1 : 1;
}

}  // namespace vt
