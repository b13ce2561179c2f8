#pragma once
// A throw-away sysfs tree with tty entries and USB devices, and a /dev folder whose
// nodes are ptys, for the port list tests.

#include <filesystem>
#include <string>

class FakeSysfs {
public:
  FakeSysfs();
  ~FakeSysfs();

  // A USB serial adapter: the tty links to a device below a USB device with strings.
  void AddUsbPort(const std::string& name, const std::string& product, const std::string& maker);
  // A built-in port; type 0 is a placeholder with no UART behind it.
  void AddBuiltinPort(const std::string& name, int type);
  void AddRfcomm(const std::string& name);
  // A console-like tty with no device behind it.
  void AddVirtualTty(const std::string& name);
  void Remove(const std::string& name);
  // Makes /dev/NAME a pty slave so the port can really be opened; returns the master fd.
  int AddDeviceNode(const std::string& name);

  // A link anywhere in the tree, pointing wherever it is told (nowhere, or at itself).
  void AddLink(const std::string& link, const std::string& target);
  // From now on, listing the folder (below the root) fails after `entries` names, as a
  // folder that vanishes while it is read does. The destructor ends it.
  void FailListingAfter(const std::string& folder, int entries);

  std::string Root() const { return root.string(); }
  std::string Dev() const { return (root / "dev").string(); }

private:
  std::filesystem::path root;
  std::filesystem::path ttyClass() const { return root / "sys/class/tty"; }
};
