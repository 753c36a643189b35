// Registration of the standard container handlers at their places in the registry.
#include "thumbs/exif_handler.h"
#include "thumbs/fpxr_handlers.h"
#include "thumbs/handler_registry.h"
#include "thumbs/jfif_handlers.h"
#include "thumbs/mpf_handler.h"
#include "thumbs/photoshop_handler.h"

namespace vt {

void RegisterStandardThumbHandlers(TkelJpegThumbHandlerRegistry& registry) {
  registry.Add(ThumbHandlerClass<TkelJpegThumbJFIFHandler>("JFIF"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbJFXXHandler>("JFXX"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbExifHandler>("Exif"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbMPFHandler>("MPF"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbFPXR2Handler>("FPXR2"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbFPXR4Handler>("FPXR4"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbPhotoshopHandler>("Photoshop"));
}

}  // namespace vt
