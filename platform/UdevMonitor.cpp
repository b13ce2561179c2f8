#include "UdevMonitor.h"

#include <libudev.h>

TUdevMonitor::TUdevMonitor() : Context(udev_new()) {
  if (!Context) return;
  // Whole USB devices only: a device's interfaces would each repeat its notice. The ttys
  // too, since an adapter's tty appears only once its interface driver has bound, after
  // the USB device's own notice; disks, which a USB stick's driver adds after it too; and
  // the printer driver's nodes, likewise.
  Monitor = udev_monitor_new_from_netlink(Context, "udev");
  if (Monitor && (udev_monitor_filter_add_match_subsystem_devtype(Monitor, "usb", "usb_device") < 0 ||
                  udev_monitor_filter_add_match_subsystem_devtype(Monitor, "tty", nullptr) < 0 ||
                  udev_monitor_filter_add_match_subsystem_devtype(Monitor, "block", "disk") < 0 ||
                  udev_monitor_filter_add_match_subsystem_devtype(Monitor, "usbmisc", nullptr) < 0 ||
                  udev_monitor_enable_receiving(Monitor) < 0)) {
    udev_monitor_unref(Monitor);
    Monitor = nullptr;
  }
}

TUdevMonitor::~TUdevMonitor() {
  if (Monitor) udev_monitor_unref(Monitor);
  if (Context) udev_unref(Context);
}

int TUdevMonitor::Fd() const { return Monitor ? udev_monitor_get_fd(Monitor) : -1; }

std::vector<TUdevNotice> TUdevMonitor::ReadPending() {
  std::vector<TUdevNotice> notices;
  if (!Monitor) return notices;
  // The socket does not block: the receive gives nothing once the pending notices are read.
  while (udev_device* device = udev_monitor_receive_device(Monitor)) {
    TUdevNotice notice;
    if (const char* action = udev_device_get_action(device)) notice.Action = action;
    if (const char* path = udev_device_get_devpath(device)) notice.DevPath = path;
    if (const char* subsystem = udev_device_get_subsystem(device)) notice.Subsystem = subsystem;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
      const char* value = udev_list_entry_get_value(entry);
      notice.Properties[udev_list_entry_get_name(entry)] = value ? value : "";
    }
    notices.push_back(std::move(notice));
    udev_device_unref(device);
  }
  return notices;
}
