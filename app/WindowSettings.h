#pragma once
// What the window keeps between runs beyond what its form starts with: the connection,
// pacing and raw page choices, the chosen port, the last job's folder, the recent jobs
// and the window's place, in an INI file in the user's configuration folder. Without a
// file (--no-settings) nothing is read or written and the form keeps its defaults.

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "RecentJobs.h"

class QSettings;
class QWidget;

class TWindowSettings {
 public:
  TWindowSettings();
  // Reads what the file holds; a missing file holds nothing yet.
  explicit TWindowSettings(const QString& file);
  TWindowSettings(TWindowSettings&&) noexcept;
  TWindowSettings& operator=(TWindowSettings&&) noexcept;
  ~TWindowSettings();

  // korvex/korvex.conf in the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config).
  static QString UserFile();

  // Where the window's settings came from, as a line of the activity log.
  std::string Source() const;

  // Check boxes, spin boxes and combo boxes by their object names: state, value, item.
  // A control the file does not name keeps what it has.
  void RestoreControls(const std::vector<QWidget*>& controls) const;
  void SaveControls(const std::vector<QWidget*>& controls);

  // The port to start on: the remembered one while the system lists it or its device
  // exists, else the start order's choice among the listed ports. Gone names the
  // remembered port that is gone, empty otherwise.
  std::string StartPort(const std::vector<std::string>& listed, const std::string& designed, std::string& gone) const;

  // Writes everything to the file; true without a file, false when it cannot be written.
  bool Save();
  // The file, empty without one.
  QString File() const;

  std::string Port;  // the Direct COM port chosen last; empty when none is remembered
  QString LastFolder;
  TRecentJobs Recent;
  QByteArray Geometry;

 private:
  std::unique_ptr<QSettings> Store;
  bool Existed = false;
};
