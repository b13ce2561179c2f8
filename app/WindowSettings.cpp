#include "WindowSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>

#include "platform/SerialDevices.h"
#include "ports/PortExState.h"

namespace {

QString controlKey(const QWidget* control) { return QStringLiteral("Controls/") + control->objectName(); }

}  // namespace

TWindowSettings::TWindowSettings() = default;
TWindowSettings::TWindowSettings(TWindowSettings&&) noexcept = default;
TWindowSettings& TWindowSettings::operator=(TWindowSettings&&) noexcept = default;
TWindowSettings::~TWindowSettings() = default;

TWindowSettings::TWindowSettings(const QString& file)
    : Store(std::make_unique<QSettings>(file, QSettings::IniFormat)), Existed(QFileInfo::exists(file)) {
  Port = Store->value(QStringLiteral("Port")).toString().toStdString();
  LastFolder = Store->value(QStringLiteral("LastFolder")).toString();
  std::vector<std::string> recent;
  for (const QString& path : Store->value(QStringLiteral("RecentJobs")).toStringList())
    recent.push_back(path.toLocal8Bit().toStdString());
  Recent.Assign(recent);
  Geometry = Store->value(QStringLiteral("Geometry")).toByteArray();
}

QString TWindowSettings::UserFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/korvex/korvex.conf");
}

std::string TWindowSettings::Source() const {
  if (!Store) return "Settings\tnot used (--no-settings): the form's defaults, nothing is kept";
  const std::string file = File().toLocal8Bit().toStdString();
  if (!Existed) return "Settings\tnone kept yet: the form's defaults, kept from now on in " + file;
  return "Settings\tread from " + file;
}

void TWindowSettings::RestoreControls(const std::vector<QWidget*>& controls) const {
  if (!Store) return;
  for (QWidget* control : controls) {
    const QVariant value = Store->value(controlKey(control));
    if (!value.isValid()) continue;
    if (auto* box = qobject_cast<QCheckBox*>(control))
      box->setChecked(value.toBool());
    else if (auto* spin = qobject_cast<QSpinBox*>(control))
      spin->setValue(value.toInt());
    else if (auto* combo = qobject_cast<QComboBox*>(control); combo && value.toInt() < combo->count())
      combo->setCurrentIndex(value.toInt());
  }
}

void TWindowSettings::SaveControls(const std::vector<QWidget*>& controls) {
  if (!Store) return;
  for (QWidget* control : controls) {
    if (auto* box = qobject_cast<QCheckBox*>(control))
      Store->setValue(controlKey(control), box->isChecked());
    else if (auto* spin = qobject_cast<QSpinBox*>(control))
      Store->setValue(controlKey(control), spin->value());
    else if (auto* combo = qobject_cast<QComboBox*>(control))
      Store->setValue(controlKey(control), combo->currentIndex());
  }
}

std::string TWindowSettings::StartPort(const std::vector<std::string>& listed, const std::string& designed,
                                       std::string& gone) const {
  gone.clear();
  const std::string fallback = StartPortName(listed, designed);
  if (Port.empty() || Port == fallback) return fallback;
  std::error_code error;
  if (std::find(listed.begin(), listed.end(), Port) != listed.end() ||
      std::filesystem::exists(PortDevicePath(Port), error))
    return Port;
  gone = Port;
  return fallback;
}

QString TWindowSettings::File() const { return Store ? Store->fileName() : QString(); }

bool TWindowSettings::Save() {
  if (!Store) return true;
  Store->setValue(QStringLiteral("Port"), QString::fromStdString(Port));
  Store->setValue(QStringLiteral("LastFolder"), LastFolder);
  QStringList recent;
  for (const std::string& path : Recent.Items()) recent << QString::fromLocal8Bit(path.c_str());
  Store->setValue(QStringLiteral("RecentJobs"), recent);
  Store->setValue(QStringLiteral("Geometry"), Geometry);
  Store->sync();
  return Store->status() == QSettings::NoError;
}
