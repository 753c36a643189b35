#include "jpeg/jpeg_constants.h"

namespace vt {

const char* ResultCodeName(int code) {
  switch (code) {
    case jrOK: return "jrOK";
    case jrEndOfData: return "jrEndOfData";
    case jrBadStructure: return "jrBadStructure";
    case jrUnsupportedProcess: return "jrUnsupportedProcess";
    case jrUnsupportedColorModel: return "jrUnsupportedColorModel";
    case jrBadData: return "jrBadData";
    default: return "jrUnknown";
  }
}

}  // namespace vt
