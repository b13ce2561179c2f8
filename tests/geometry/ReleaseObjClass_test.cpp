#include "geometry/ReleaseObjClass.h"

#include <gtest/gtest.h>

namespace {

class TTracked : public TRefObj {
public:
  explicit TTracked(bool& Destroyed) : FDestroyed(Destroyed) {}

protected:
  ~TTracked() override { FDestroyed = true; }

private:
  bool& FDestroyed;
};

}  // namespace

TEST(ReleaseObj, CountZeroIsOneHolderAndReleaseBelowZeroDestroys) {
  bool destroyed = false;
  auto* obj = new TTracked(destroyed);
  EXPECT_EQ(obj->RefCount(), 0);
  EXPECT_EQ(obj->AddRef(), 1);
  EXPECT_EQ(TReleaseObj::Release(obj), 0);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(TReleaseObj::Release(obj), -1);
  EXPECT_TRUE(destroyed);
}

TEST(ReleaseObj, ReleasingNilDoesNothing) { EXPECT_EQ(TReleaseObj::Release(nullptr), 0); }

TEST(ReleaseObj, HolderReleasesTheCreatorsReference) {
  bool destroyed = false;
  {
    TReleasePtr<TTracked> holder(new TTracked(destroyed));
    TRefObj* extra = holder->AddRefSelf();
    EXPECT_EQ(extra, holder.get());
    EXPECT_EQ(TReleaseObj::Release(extra), 0);
    holder->SetTag(-7);
    EXPECT_EQ(holder->GetTag(), -7);
  }
  EXPECT_TRUE(destroyed);
}
