// The FieldPal Firmware Updater window (frmMain): the product picture and texts, the port list,
// the status and progress of a run, the New Serial Number field, Close and Start, and the File,
// Settings and Help menus. It owns the engine for the life of the program (the error file, the
// session and loader contexts, the port enumerator) and runs each update on a worker thread.
//
// Command line: "-factory" (factory mode and the service switch) and "-rep" (the service switch),
// matched exactly; on Linux also "--port PATH" (a port the system's list does not show, such as a
// pseudo-terminal; repeatable) and "--screenshot FILE" (save the window as a picture and quit).
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

#include "app/product.h"
#include "app/update_context.h"
#include "app/update_engine.h"
#include "link/port_enum.h"
#include "loader/bsl_host.h"

namespace net {
class HttpClient;
}

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class FeedbackWindow;
class GuiFrontEnd;
class PortComboBox;
class UpdateThread;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // For the product this program is built for (the FieldPal updater unless another is given).
  explicit MainWindow(const QStringList& arguments, QWidget* parent = nullptr,
                      const Product& product = kFieldPalProduct);
  ~MainWindow() override;

  bool Busy() const { return busy_; }
  // Open Firmware File with a chosen path (the dialog's part done). The loader's result.
  int32_t OpenFirmware(const QString& path);
  // The start-up error report of a loader context that could not be built; closes the window.
  void ReportConstructorError(int32_t code);
  // The engine's state, for tests.
  UpdateContext& Context() { return *context_; }
  // The version service's file for the product or sensor in hand.
  const std::string& VersionFinderPath() const { return versionFinderPath_; }
  // The digital-sensor updater's choice of sensor type, by a menu item or by a number a sensor
  // reports (sensor_type_menu.cpp): the item's check, the version document, the device name.
  void ChooseSensorType(uint32_t number);

 signals:
  // A run ended (after the controls were enabled again), with its result.
  void runFinished(int result);
  // A version check ended (the automatic one or the one asked for), with its result.
  void versionCheckFinished(int result);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void StartClicked();
  void StartTimerFired();
  void RunEnded();
  void PortListOpening();
  void PortChosen(int index);
  void OpenFirmwareFileClicked();
  void DumpFirmwareImageClicked();
  void HelpClicked();
  void AboutClicked();
  void VerboseErrorFileClicked(bool checked);
  void ReplaceSerialNumberClicked(bool checked);
  void EraseWarningTimerFired();
  void WebCheckTimerFired();
  void SendFeedbackClicked();
  void CheckForUpdatesClicked();

 private:
  void BuildControls();
  void BuildMenus();
  void FormShow();
  // Fills the port table; the number of entries (0 when there are none).
  uint32_t EnumeratePorts();
  void FillPortBox(uint32_t count, int shown);
  void SetProductTexts();
  // Grows the window when a wrapped text needs more lines than it has room for.
  void FitTexts();
  RunOptions CurrentOptions() const;
  void WriteOptions();
  // The sensor-type items of the Settings menu (sensor_type_menu.cpp): built hidden, shown in
  // the digital-sensor updater with factory mode.
  void BuildSensorTypeMenu(QMenu* settings);
  void ShowSensorTypeMenu();
  void RunVersionCheck(bool quiet);

  const Product& product_;
  QStringList arguments_;
  QStringList extraPorts_;
  QString screenshotPath_;
  bool shown_ = false;

  // Options.
  bool factoryMode_ = false;
  bool serviceFlag_ = false;
  bool findAllComms_ = false;
  bool verboseLog_ = true;
  bool portRemembered_ = false;

  // The engine, for the life of the program, and its error file, loader and context.
  std::unique_ptr<UpdateEngine> engine_;
  VexaLog* log_ = nullptr;
  VexaBSLHost* loader_ = nullptr;
  UpdateContext* context_ = nullptr;
  CommPortEnumerator enumerator_;
  std::vector<CommPortEntry> ports_;
  std::vector<std::string> portNames_;  // as DSOpen takes them (a path may outgrow an entry's name)
  int selected_ = 0;
  std::atomic<bool> continue_{true};
  std::unique_ptr<GuiFrontEnd> frontEnd_;
  UpdateThread* thread_ = nullptr;
  bool busy_ = false;
  // The version service's file for the product in hand; a sensor-type choice changes it.
  std::string versionFinderPath_ = product::kVersionDocument;
  // The one HTTP client of the version check and the feedback form, and the form.
  std::unique_ptr<net::HttpClient> http_;
  FeedbackWindow* feedback_ = nullptr;

  // Controls and menu items.
  QLabel* picture_ = nullptr;
  QLabel* userText1_ = nullptr;
  QLabel* userText2_ = nullptr;
  QLabel* lblConnect_ = nullptr;
  QLabel* commLabel_ = nullptr;
  PortComboBox* cbCommPort_ = nullptr;
  QLabel* statusText_ = nullptr;
  QProgressBar* statusBar_ = nullptr;
  QLabel* newSN_ = nullptr;
  QLineEdit* newSNstr_ = nullptr;
  QPushButton* btnClose_ = nullptr;
  QPushButton* btnStart_ = nullptr;
  QAction* openFirmware_ = nullptr;
  QAction* updateFirmware_ = nullptr;
  QAction* dumpImage_ = nullptr;
  QAction* verboseErrorFile_ = nullptr;
  QAction* findAllCommPorts_ = nullptr;
  QAction* dontEraseData_ = nullptr;
  QAction* replaceSerialNumber_ = nullptr;
  QAction* sensorSeparator_ = nullptr;
  QAction* sensorHeading_ = nullptr;
  QAction* about_ = nullptr;
  struct SensorTypeItem {
    uint32_t number;
    QAction* action;
  };
  std::vector<SensorTypeItem> sensorTypeItems_;
};
