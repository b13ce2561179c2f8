#include "ReleaseObjClass.h"

std::int32_t TReleaseObj::AddRef() { return FRefCount.fetch_add(1) + 1; }

std::int32_t TReleaseObj::Release(TReleaseObj* Obj) {
  if (!Obj) return 0;
  const std::int32_t count = Obj->FRefCount.fetch_sub(1) - 1;
  if (count < 0) delete Obj;
  return count;
}

TRefObj* TRefObj::AddRefSelf() {
  AddRef();
  return this;
}
