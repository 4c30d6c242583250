// The commands of the window's menus beside Start and Exit: opening another firmware file and
// writing the image out, the Help and About boxes, the verbose error file, and the two internet
// services, the version check (also run quietly after start-up) and the feedback form, which
// share one HTTP client. Their boxes and dialogs are modal to the window; a command that needs
// the engine objects is refused while a run has them.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "app/product.h"

namespace net {
class HttpClient;
}

class QWidget;
class FeedbackWindow;
class RunController;

class WindowCommands : public QObject {
  Q_OBJECT

 public:
  // The feedback form is made here, a child of the window.
  WindowCommands(const Product& product, RunController* run, QWidget* window);
  ~WindowCommands() override;

  // Open Firmware File with a chosen path (the dialog's part done). The loader's result; a file
  // refused is told in the "File Error" box.
  int32_t OpenFirmware(const QString& path);
  // The version service's file for the product or sensor in hand; a sensor-type choice sets it.
  const std::string& VersionFinderPath() const { return versionFinderPath_; }
  void SetVersionFinderPath(const std::string& path) { versionFinderPath_ = path; }
  // The version check; a quiet one tells only of a newer version.
  void RunVersionCheck(bool quiet);
  // As the window closes: the feedback form closes and a transfer of either service ends.
  void EndInternetServices();

 public slots:
  void OpenFirmwareFile();
  void DumpFirmwareImage();
  void ShowHelp();
  void ShowAbout();
  void SetVerboseErrorFile(bool on);
  void SendFeedback();
  void CheckForUpdates();

 signals:
  // Another image was loaded: the window shows its texts and lets a run start.
  void firmwareOpened();
  // A version check ended (the automatic one or the one asked for), with its result.
  void versionCheckFinished(int result);

 private:
  RunController* run_;
  QWidget* window_;
  std::string versionFinderPath_;
  // The one HTTP client of the version check and the feedback form, and the form.
  std::unique_ptr<net::HttpClient> http_;
  FeedbackWindow* feedback_ = nullptr;
};
