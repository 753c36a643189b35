#include "thumbs/handler_registry.h"

#include <stdexcept>
#include <string>

#if __has_include("thumbs/vendor_registration.h")
#include "thumbs/vendor_registration.h"
#define VT_HAVE_VENDOR_THUMB_HANDLERS 1
#endif

namespace vt {

namespace {

int OrderIndex(std::string_view name) {
  for (size_t i = 0; i < kThumbHandlerOrder.size(); ++i)
    if (kThumbHandlerOrder[i] == name) return int(i);
  return -1;
}

}  // namespace

void TkelJpegThumbHandlerRegistry::Add(const TkelJpegThumbHandlerClass& handlerClass) {
  const int index = OrderIndex(handlerClass.Name);
  if (index < 0 || handlerClass.CanHandle == nullptr || handlerClass.Create == nullptr)
    throw std::logic_error(std::string("unknown thumbnail handler class ") + handlerClass.Name);
  if (classes_.capacity() == classes_.size()) classes_.reserve(classes_.size() + 24);
  auto pos = classes_.begin();
  while (pos != classes_.end()) {
    const int other = OrderIndex(pos->Name);
    if (other == index)
      throw std::logic_error(std::string("thumbnail handler class added twice: ") + handlerClass.Name);
    if (other > index) break;
    ++pos;
  }
  classes_.insert(pos, handlerClass);
}

const TkelJpegThumbHandlerRegistry& TkelJpegThumbHandlerRegistry::Instance() {
  static const TkelJpegThumbHandlerRegistry registry = [] {
    TkelJpegThumbHandlerRegistry r;
    RegisterBaseThumbHandler(r);
    RegisterStandardThumbHandlers(r);
#ifdef VT_HAVE_VENDOR_THUMB_HANDLERS
    RegisterVendorThumbHandlers(r);
#endif
    return r;
  }();
  return registry;
}

void RegisterBaseThumbHandler(TkelJpegThumbHandlerRegistry& registry) {
  registry.Add(ThumbHandlerClass<TkelJpegThumbBaseHandler>("Base"));
}

}  // namespace vt
