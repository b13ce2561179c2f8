#include "SysfsFiles.h"

#include <fstream>

namespace fs = std::filesystem;

bool ListFolder(const fs::path& folder, std::vector<std::string>& names) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return !ec;
}

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  return WithoutTrailingBlanks(std::move(value));
}

std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

std::string LinkTargetName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}
