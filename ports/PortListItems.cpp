#include "PortListItems.h"

#include <algorithm>
#include <strings.h>

namespace {

std::string itemText(const TSerialPort& port) { return port.Name + " - " + port.Product; }

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<TPortListItem> PortListItems(const std::vector<TSerialPort>& present,
                                         const std::vector<std::string>& extra) {
  std::vector<TPortListItem> items;
  for (const TSerialPort& port : present)
    items.push_back({port.Name, itemText(port), port.ById.empty() ? PortDevicePath(port.Name) : port.ById});
  for (const std::string& name : extra) {
    const bool listed =
        std::any_of(items.begin(), items.end(), [&name](const TPortListItem& i) { return i.Name == name; });
    if (!name.empty() && !listed) items.push_back({name, name, PortDevicePath(name)});
  }
  std::stable_sort(items.begin(), items.end(), [](const TPortListItem& a, const TPortListItem& b) {
    return strcasecmp(a.Name.c_str(), b.Name.c_str()) < 0;
  });
  return items;
}

std::string TypedPortName(const std::string& text, const std::vector<TSerialPort>& present) {
  const std::string name = trimmed(text);
  if (name.empty()) return name;
  const std::string path = PortDevicePath(name);
  for (const TSerialPort& port : present)
    if (name == itemText(port) || path == PortDevicePath(port.Name) || (!port.ById.empty() && path == port.ById))
      return port.Name;
  return name;
}
