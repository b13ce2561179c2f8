#include "RecentJobs.h"

#include <algorithm>

void TRecentJobs::Add(const std::string& path) {
  Remove(path);
  Paths.insert(Paths.begin(), path);
  if (Paths.size() > kMost) Paths.resize(kMost);
}

void TRecentJobs::Remove(const std::string& path) { std::erase(Paths, path); }

void TRecentJobs::Assign(const std::vector<std::string>& paths) {
  Paths.clear();
  for (const std::string& path : paths)
    if (!path.empty() && std::find(Paths.begin(), Paths.end(), path) == Paths.end() && Paths.size() < kMost)
      Paths.push_back(path);
}
