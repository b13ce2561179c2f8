#pragma once
// Reference-counted base objects. A count of 0 means one holder: the creator holds the
// object without adding a reference, and the release that takes the count below 0
// destroys it. Destructors are protected, so these objects die through Release only.

#include <atomic>
#include <cstdint>
#include <memory>

class TReleaseObj {
public:
  TReleaseObj() = default;
  TReleaseObj(const TReleaseObj&) = delete;
  TReleaseObj& operator=(const TReleaseObj&) = delete;

  // Both answer the new count. Release destroys the object when the count drops
  // below 0; releasing nullptr does nothing and answers 0.
  std::int32_t AddRef();
  static std::int32_t Release(TReleaseObj* Obj);
  std::int32_t RefCount() const { return FRefCount.load(); }

protected:
  virtual ~TReleaseObj() = default;

private:
  std::atomic<std::int32_t> FRefCount{0};
};

// Lets a std::unique_ptr hold the creator's reference.
struct TReleaseDeleter {
  void operator()(TReleaseObj* Obj) const { TReleaseObj::Release(Obj); }
};
template <class T>
using TReleasePtr = std::unique_ptr<T, TReleaseDeleter>;

// A counted object with an integer tag.
class TRefObj : public TReleaseObj {
public:
  virtual std::int32_t GetTag() const { return FTag; }
  virtual void SetTag(std::int32_t Tag) { FTag = Tag; }
  // Adds a reference and answers the object, for handing it on in one expression.
  TRefObj* AddRefSelf();

protected:
  ~TRefObj() override = default;

private:
  std::int32_t FTag = 0;
};
