#pragma once
// Text in bitmaps needs the GUI toolkit's fonts, and those need an application object.
// A program without a window holds one of these while it draws: it makes that object,
// on the offscreen platform whatever the environment names, when none exists yet, and
// leaves no runtime folder behind.

#include <memory>

class QGuiApplication;

class THeadlessFonts {
 public:
  THeadlessFonts();
  ~THeadlessFonts();
  THeadlessFonts(const THeadlessFonts&) = delete;
  THeadlessFonts& operator=(const THeadlessFonts&) = delete;

 private:
  std::unique_ptr<QGuiApplication> FApp;
};
