// The camera makers' preview handlers join the registry through this one function; the
// registry puts each class at its listed place.
#pragma once

namespace vt {

class TkelJpegThumbHandlerRegistry;

void RegisterVendorThumbHandlers(TkelJpegThumbHandlerRegistry& registry);

}  // namespace vt
