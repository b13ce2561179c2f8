#pragma once
// Text in bitmaps needs the GUI toolkit's fonts, and those need an application object.
// A program without a window holds one of these while it draws: it makes that object,
// on the offscreen platform unless the environment names another, when none exists yet.

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
