// The process-wide list of thumbnail handler classes, filled once (on first use) in a fixed
// order that is also the priority order, lowest first: the collection asks the classes from the
// last registered to the first, so the Base handler is the fallback.
//
// The order lives in one list (kThumbHandlerOrder). Each handler file contributes its classes
// through a registration function that calls TkelJpegThumbHandlerRegistry::Add with the class's
// listed name; the registry puts every class at its listed place, whoever adds it and in
// whatever order. The camera makers' handlers come in through RegisterVendorThumbHandlers,
// declared in thumbs/vendor_registration.h and defined by the vendor handler files; the registry
// calls it when that header exists.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "thumbs/thumb_handler.h"

namespace vt {

inline constexpr std::array<std::string_view, 26> kThumbHandlerOrder = {
    "Base",     "APP2v1",  "APP2v2", "APP3",    "APP4",    "APP5",    "JFIF",
    "JFXX",     "Exif",    "MPF",    "FPXR2",   "FPXR4",   "FLIR",    "Photoshop",
    "H3X0",     "HPSC2",   "HPSC1",  "SCRNAIL", "PDBigTN", "QVGA",    "BGTH",
    "Prv",      "Samsung", "SCALADO", "QTIDebugMetadata", "Qualcomm"};

class TkelJpegThumbHandlerRegistry {
 public:
  // Adds a class under one of the names of kThumbHandlerOrder (raises std::logic_error for an
  // unknown or repeated name).
  void Add(const TkelJpegThumbHandlerClass& handlerClass);

  // The registered classes in registration order (Base first).
  const std::vector<TkelJpegThumbHandlerClass>& Classes() const { return classes_; }

  // The process-wide registry, filled on first use.
  static const TkelJpegThumbHandlerRegistry& Instance();

 private:
  std::vector<TkelJpegThumbHandlerClass> classes_;
};

// Registration functions of the standard handlers (defined beside each handler).
void RegisterBaseThumbHandler(TkelJpegThumbHandlerRegistry& registry);
void RegisterStandardThumbHandlers(TkelJpegThumbHandlerRegistry& registry);

}  // namespace vt
