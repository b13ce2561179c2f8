#pragma once
// The jobs loaded last, newest first, as the File menu offers them again.

#include <cstddef>
#include <string>
#include <vector>

class TRecentJobs {
 public:
  static constexpr std::size_t kMost = 5;

  // Puts the path first; an entry already listed moves up, the oldest beyond kMost goes.
  void Add(const std::string& path);
  // A job that can no longer be read leaves the list.
  void Remove(const std::string& path);
  // Takes a stored list as it is, empty entries, repeats and the excess left out.
  void Assign(const std::vector<std::string>& paths);
  const std::vector<std::string>& Items() const { return Paths; }

 private:
  std::vector<std::string> Paths;
};
