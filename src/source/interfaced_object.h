// Base of the reference-counted objects behind the COM-style interfaces: an atomic count that
// starts at 0 and destroys the object when it drops back to 0, and QueryInterface answered from
// the class's own interface table.
#pragma once

#include <atomic>
#include <cstdint>

#include "source/com_interfaces.h"

namespace vt {

class TkelInterfacedObject {
 public:
  TkelInterfacedObject() = default;
  TkelInterfacedObject(const TkelInterfacedObject&) = delete;
  TkelInterfacedObject& operator=(const TkelInterfacedObject&) = delete;
  virtual ~TkelInterfacedObject() = default;

  uint32_t ObjAddRef();
  // Destroys the object when the count reaches 0.
  uint32_t ObjRelease();
  // S_OK with a counted interface pointer, or E_NOINTERFACE with *obj cleared.
  HRESULT ObjQueryInterface(const TGUID& iid, void** obj);
  int32_t RefCount() const { return refCount_.load(); }

 protected:
  // The interface table: the pointer for iid, or nullptr when the class does not have it.
  virtual IUnknown* GetInterface(const TGUID& iid) = 0;

 private:
  std::atomic<int32_t> refCount_{0};
};

}  // namespace vt
