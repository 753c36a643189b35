#include "thumbs/vendor_registration.h"

#include "thumbs/handler_registry.h"
#include "thumbs/vendor_jpeg_handlers.h"
#include "thumbs/vendor_raw_handlers.h"
#include "thumbs/vendor_rebuilt_handlers.h"

namespace vt {

// The registry places each class by its name; the order here does not matter.
void RegisterVendorThumbHandlers(TkelJpegThumbHandlerRegistry& registry) {
  registry.Add(ThumbHandlerClass<TkelJpegThumbAPP2v1Handler>("APP2v1"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbAPP2v2Handler>("APP2v2"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbAPP3Handler>("APP3"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbAPP4Handler>("APP4"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbAPP5Handler>("APP5"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbFLIRHandler>("FLIR"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbH3X0Handler>("H3X0"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbHPSCHandler2>("HPSC2"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbHPSCHandler1>("HPSC1"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbSCRNAILHandler>("SCRNAIL"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbPDBigTNHandler>("PDBigTN"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbQVGAHandler>("QVGA"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbBGTHHandler>("BGTH"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbPrvHandler>("Prv"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbSamsungHandler>("Samsung"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbSCALADOHandler>("SCALADO"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbQTIDebugMetadataHandler>("QTIDebugMetadata"));
  registry.Add(ThumbHandlerClass<TkelJpegThumbQualcommHandler>("Qualcomm"));
}

}  // namespace vt
