// The FieldPal Firmware Updater window (frmMain): the product picture and texts, the port list,
// the status and progress of a run, the New Serial Number field, Close and Start, and the File,
// Settings and Help menus, and what a run shows in them. The engine, made with the window, is the
// run controller's (run_controller.h), which runs each update on a worker thread; the menu
// commands are WindowCommands' (window_commands.h).
//
// Command line: "-factory" (factory mode and the service switch) and "-rep" (the service switch),
// matched exactly; on Linux also "--port PATH" (a port the system's list does not show, such as a
// pseudo-terminal; repeatable) and "--screenshot FILE" (save the window as a picture and quit).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "app/product.h"
#include "app/update_context.h"
#include "link/port_enum.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class PortComboBox;
class RunController;
class WindowCommands;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // For the product this program is built for (the FieldPal updater unless another is given).
  explicit MainWindow(const QStringList& arguments, QWidget* parent = nullptr,
                      const Product& product = kFieldPalProduct);
  ~MainWindow() override;

  // A run is in progress: the window refuses to close and keeps its controls off.
  bool Busy() const;
  // Open Firmware File with a chosen path (the dialog's part done). The loader's result.
  int32_t OpenFirmware(const QString& path);
  // The start-up error report of a loader context that could not be built; closes the window.
  void ReportConstructorError(int32_t code);
  // The text of that report, empty when start-up went well: the program then ends with a failure.
  const QString& LaunchError() const { return launchError_; }
  // The engine's state, for tests.
  UpdateContext& Context();
  // The version service's file for the product or sensor in hand.
  const std::string& VersionFinderPath() const;
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

 private:
  void BuildControls();
  void BuildMenus();
  // The window follows a run: its statuses, progress and connect label.
  void ShowRunReports();
  // The switches of the command line, and the options stored at the last close: the port
  // remembered then, if any.
  void ReadCommandLine(const QStringList& arguments);
  std::optional<QString> ReadOptions();
  // The port list at start: the remembered port selected when it is still listed.
  void ListPortsAtStart(const std::optional<QString>& rememberedPort);
  // The start-up's one-shot timers: the data erase warning or the quiet version check, the
  // start-up error report, the screenshot.
  void StartStartUpTimers();
  // Fills the port table; the number of entries (0 when there are none).
  uint32_t EnumeratePorts();
  void FillPortBox(uint32_t count, int shown);
  void PortListOpening();
  void PortChosen(int index);
  void SetProductTexts();
  // Grows the window when a wrapped text needs more lines than it has room for.
  void FitTexts();
  void ShowNewSerialNumber(bool shown);
  RunOptions CurrentOptions() const;
  // Start and Update Firmware: the controls go off, and the run starts 100 ms later.
  void RequestRun();
  void StartRun();
  void RunEnded(int result);
  void WriteOptions();
  void WarnOfDataErase();
  void CheckVersionQuietly();
  // The sensor-type items of the Settings menu (sensor_type_menu.cpp): built hidden, shown in
  // the digital-sensor updater with factory mode.
  void BuildSensorTypeMenu(QMenu* settings);
  void ShowSensorTypeMenu();

  const Product& product_;
  RunController* run_ = nullptr;
  WindowCommands* commands_ = nullptr;
  QStringList extraPorts_;
  QString screenshotPath_;
  QString launchError_;
  bool shown_ = false;

  // Options.
  bool factoryMode_ = false;
  bool serviceFlag_ = false;
  bool findAllComms_ = false;

  // The port list.
  CommPortEnumerator enumerator_;
  std::vector<CommPortEntry> ports_;
  std::vector<std::string> portNames_;  // as DSOpen takes them (a path may outgrow an entry's name)
  int selected_ = 0;

  // Controls and menu items.
  QLabel* picture_ = nullptr;
  QLabel* userText1_ = nullptr;
  QLabel* userText2_ = nullptr;
  QLabel* lblConnect_ = nullptr;
  QLabel* commLabel_ = nullptr;
  PortComboBox* cbCommPort_ = nullptr;
  QLabel* statusText_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
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
