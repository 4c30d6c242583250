#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "app/product.h"
#include "app/update_texts.h"
#include "gui/gui_front_end.h"
#include "gui/message_box.h"
#include "gui/port_combo_box.h"
#include "gui/product_picture.h"
#include "gui/run_controller.h"
#include "gui/window_commands.h"
#include "gui/window_frame.h"
#include "session/catalogue.h"

namespace {

constexpr const char* kOrganisation = "Norvane Devices, Inc";
constexpr const char* kApplication = "VexaBSL";
constexpr const char* kNoPorts = "No Comm Ports Found";
constexpr int kStartTimerMs = 100;
constexpr int kEraseWarningMs = 500;
constexpr int kWebCheckMs = 500;
constexpr int kConstructorErrorMs = 100;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QFont Bold(QFont font) {
  font.setBold(true);
  return font;
}

}  // namespace

MainWindow::MainWindow(const QStringList& arguments, QWidget* parent, const Product& product)
    : QMainWindow(parent), product_(product) {
  SetFixedFrame(this, Qt::Window);
  setWindowIcon(QIcon(ProductPicture()));
  run_ = new RunController(product_, this);
  BuildControls();
  commands_ = new WindowCommands(product_, run_, this);
  BuildMenus();
  // A window of fixed size, with room for the New Serial Number row when it is shown.
  ShowNewSerialNumber(true);
  const QSize size = sizeHint().expandedTo(QSize(346, 262));
  ShowNewSerialNumber(false);
  setFixedSize(size);

  // The product this program is built for: the FieldPal, or the chosen sensor type.
  const QString caption = Q(run_->Context().caption);
  setWindowTitle(caption);
  QApplication::setApplicationDisplayName(Q(run_->Context().deviceName) + " Updater");
  about_->setText("About " + caption);
  ReadCommandLine(arguments);
  const std::optional<QString> rememberedPort = ReadOptions();
  enumerator_.log = run_->Log();
  ListPortsAtStart(rememberedPort);
  SetProductTexts();

  ShowRunReports();
  connect(run_, &RunController::finished, this, &MainWindow::RunEnded);
  connect(commands_, &WindowCommands::firmwareOpened, this, [this] {
    SetProductTexts();
    btnStart_->setEnabled(true);
    updateFirmware_->setEnabled(true);
  });
  connect(commands_, &WindowCommands::versionCheckFinished, this,
          &MainWindow::versionCheckFinished);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  picture_ = new QLabel(central);
  picture_->setPixmap(ProductPicture());
  picture_->setFixedSize(48, 48);
  auto* texts = new QVBoxLayout;
  // The texts that carry a device name or a count wrap within the window's fixed width: a sensor
  // type's name or a run of many seconds is longer than the window is wide.
  userText1_ = new QLabel(central);
  userText1_->setWordWrap(true);
  userText2_ = new QLabel(central);
  userText2_->setFont(Bold(userText2_->font()));
  userText2_->setWordWrap(true);
  texts->addWidget(userText1_);
  texts->addWidget(userText2_);
  top->addWidget(picture_);
  top->addLayout(texts, 1);
  layout->addLayout(top);

  lblConnect_ = new QLabel(central);
  lblConnect_->setFont(Bold(lblConnect_->font()));
  lblConnect_->setWordWrap(true);
  commLabel_ = new QLabel(central);
  commLabel_->setWordWrap(true);
  cbCommPort_ = new PortComboBox(central);
  // A screen reader names each control by the label tied to it, not by what it shows.
  commLabel_->setBuddy(cbCommPort_);
  cbCommPort_->setFont(Bold(cbCommPort_->font()));
  cbCommPort_->setToolTip("Pick your comm port from this list.");
  layout->addWidget(lblConnect_);
  layout->addWidget(commLabel_);
  layout->addWidget(cbCommPort_);

  auto* status = new QHBoxLayout;
  auto* statusLabel = new QLabel("Status:", central);
  statusLabel->setFont(Bold(statusLabel->font()));
  statusText_ = new QLabel(central);
  statusText_->setWordWrap(true);
  statusText_->setVisible(false);
  status->addWidget(statusLabel);
  status->addWidget(statusText_, 1);
  layout->addLayout(status);
  progressBar_ = new QProgressBar(central);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  statusLabel->setBuddy(progressBar_);
  layout->addWidget(progressBar_);

  auto* serial = new QHBoxLayout;
  newSN_ = new QLabel("New Serial Number", central);
  newSNstr_ = new QLineEdit(central);
  newSNstr_->setMaxLength(15);
  newSN_->setBuddy(newSNstr_);
  newSN_->setVisible(false);
  newSNstr_->setVisible(false);
  serial->addWidget(newSN_);
  serial->addWidget(newSNstr_, 1);
  layout->addLayout(serial);

  layout->addStretch(1);
  auto* buttons = new QHBoxLayout;
  btnClose_ = new QPushButton("Close", central);
  btnStart_ = new QPushButton("Start", central);
  btnStart_->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(btnClose_);
  buttons->addWidget(btnStart_);
  layout->addLayout(buttons);
  setCentralWidget(central);

  connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);
  connect(btnStart_, &QPushButton::clicked, this, &MainWindow::RequestRun);
  connect(cbCommPort_, &PortComboBox::aboutToShowPopup, this, &MainWindow::PortListOpening);
  connect(cbCommPort_, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::PortChosen);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  openFirmware_ = file->addAction("&Open Firmware File...", QKeySequence("Ctrl+O"), commands_,
                                  &WindowCommands::OpenFirmwareFile);
  openFirmware_->setEnabled(false);
  updateFirmware_ =
      file->addAction("&Update Firmware", QKeySequence("Ctrl+F"), this, &MainWindow::RequestRun);
  dumpImage_ = file->addAction("&Dump Firmware Image...", QKeySequence("Ctrl+Alt+D"), commands_,
                               &WindowCommands::DumpFirmwareImage);
  dumpImage_->setVisible(false);
  // The hidden item's shortcut still reaches it.
  auto* dumpShortcut = new QAction(this);
  dumpShortcut->setShortcut(QKeySequence("Ctrl+Alt+D"));
  connect(dumpShortcut, &QAction::triggered, commands_, &WindowCommands::DumpFirmwareImage);
  addAction(dumpShortcut);
  file->addSeparator();
  file->addAction("&Exit", QKeySequence("Ctrl+Q"), this, &QWidget::close);

  QMenu* settings = menuBar()->addMenu("&Settings");
  verboseErrorFile_ = settings->addAction("&Verbose Error File");
  verboseErrorFile_->setCheckable(true);
  verboseErrorFile_->setChecked(true);
  verboseErrorFile_->setEnabled(false);
  connect(verboseErrorFile_, &QAction::toggled, commands_, &WindowCommands::SetVerboseErrorFile);
  findAllCommPorts_ = settings->addAction("Force Find All &Comm Ports");
  findAllCommPorts_->setCheckable(true);
  connect(findAllCommPorts_, &QAction::toggled, this, [this](bool on) { findAllComms_ = on; });
  dontEraseData_ = settings->addAction("&Don't Erase Data");
  dontEraseData_->setCheckable(true);
  dontEraseData_->setVisible(false);
  replaceSerialNumber_ = settings->addAction("&Replace Serial Number");
  replaceSerialNumber_->setCheckable(true);
  replaceSerialNumber_->setVisible(false);
  connect(replaceSerialNumber_, &QAction::toggled, this, [this](bool checked) {
    ShowNewSerialNumber(checked);
    if (checked) {
      FitTexts();
      newSNstr_->setFocus();
    }
  });
  sensorSeparator_ = settings->addSeparator();
  sensorSeparator_->setVisible(false);
  sensorHeading_ = settings->addAction("Set Digital Sensor to:");
  sensorHeading_->setEnabled(false);
  sensorHeading_->setVisible(false);
  BuildSensorTypeMenu(settings);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&Help", QKeySequence("F1"), commands_, &WindowCommands::ShowHelp);
  help->addAction("Send Feedback to KALTO...", commands_, &WindowCommands::SendFeedback);
  help->addAction("Check for Newer Firmware Version", commands_, &WindowCommands::CheckForUpdates);
  help->addSeparator();
  about_ = help->addAction("&About...", commands_, &WindowCommands::ShowAbout);
}

void MainWindow::ShowRunReports() {
  GuiFrontEnd* reports = run_->Reports();
  connect(reports, &GuiFrontEnd::statusChanged, this, [this](const QString& text) {
    statusText_->setText(text);
    statusText_->setVisible(true);
    FitTexts();
  });
  connect(reports, &GuiFrontEnd::statusHidden, statusText_, &QWidget::hide);
  connect(reports, &GuiFrontEnd::progressChanged, progressBar_, &QProgressBar::setValue);
  connect(reports, &GuiFrontEnd::connectLabelChanged, this, [this](const QString& text) {
    lblConnect_->setText(text);
    FitTexts();
  });
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FitTexts();
  StartStartUpTimers();
  CentreOnScreen(this);
}

void MainWindow::FitTexts() {
  // The window keeps its size unless a wrapped text needs more lines than there is room for; then
  // it grows rather than cut the text off. Before the first show the texts wait for it: the
  // window's style and size are final only then.
  if (!shown_) return;
  layout()->activate();
  QWidget* central = centralWidget();
  QLayout* texts = central->layout();
  const int needed = texts->hasHeightForWidth() ? texts->minimumHeightForWidth(central->width())
                                                : texts->minimumSize().height();
  if (needed > central->height()) setFixedHeight(height() + needed - central->height());
}

void MainWindow::ShowNewSerialNumber(bool shown) {
  newSN_->setVisible(shown);
  newSNstr_->setVisible(shown);
}

void MainWindow::ReadCommandLine(const QStringList& arguments) {
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == "-factory") {
      factoryMode_ = serviceFlag_ = true;
    } else if (argument == "-rep") {
      serviceFlag_ = true;
    } else if (argument == "--port" && i + 1 < arguments.size()) {
      extraPorts_ << arguments[++i];
    } else if (argument == "--screenshot" && i + 1 < arguments.size()) {
      screenshotPath_ = arguments[++i];
    }
  }
  if (serviceFlag_) openFirmware_->setEnabled(true);
  if (factoryMode_) {
    replaceSerialNumber_->setVisible(true);
    dontEraseData_->setVisible(true);
    if (product_.digitalSensor) ShowSensorTypeMenu();
  }
}

std::optional<QString> MainWindow::ReadOptions() {
  QSettings options(kOrganisation, kApplication);
  findAllComms_ = options.value("FindAllComms", false).toBool();
  findAllCommPorts_->setChecked(findAllComms_);
  // The verbose error file is on at every start, whatever was stored.
  verboseErrorFile_->setChecked(true);
  if (!options.contains("CommPort")) return std::nullopt;
  return options.value("CommPort").toString();
}

void MainWindow::ListPortsAtStart(const std::optional<QString>& rememberedPort) {
  const uint32_t count = EnumeratePorts();
  selected_ = 0;
  if (rememberedPort) {
    for (uint32_t i = 0; i < count; ++i) {
      if (*rememberedPort == QString::fromStdString(portNames_[i])) {
        selected_ = static_cast<int>(i);
        break;
      }
    }
  }
  FillPortBox(count, selected_);
  UpdateContext& context = run_->Context();
  if (count > 0) {
    context.portName = portNames_[selected_];
    context.portDescription = ports_[selected_].description;
  } else {
    context.portName.clear();
    btnStart_->setEnabled(false);
  }
}

void MainWindow::StartStartUpTimers() {
  if (WarnsOfDataErase(product_.catalogueType) && !serviceFlag_ && !factoryMode_) {
    QTimer::singleShot(kEraseWarningMs, this, &MainWindow::WarnOfDataErase);
  } else {
    QTimer::singleShot(kWebCheckMs, this, &MainWindow::CheckVersionQuietly);
  }
  if (const int32_t code = run_->EngineStatus(); code < 0) {
    QTimer::singleShot(kConstructorErrorMs, this, [this, code] { ReportConstructorError(code); });
  } else if (!run_->DataFolderNotice().empty()) {
    QTimer::singleShot(kConstructorErrorMs, this, [this] {
      ShowMessageBox(this, Q(run_->DataFolderNotice()), "Data Folder", BoxKind::kWarning);
    });
  }
  if (!screenshotPath_.isEmpty()) {
    QTimer::singleShot(200, this, [this] {
      grab().save(screenshotPath_);
      close();
    });
  }
}

uint32_t MainWindow::EnumeratePorts() {
  ports_.assign(kPortTableCapacity, CommPortEntry{});
  portNames_.clear();
  // Ports named on the command line come first.
  uint32_t extra = 0;
  for (const QString& path : extraPorts_) {
    if (extra >= kPortTableCapacity) break;
    CommPortEntry& entry = ports_[extra++];
    const QByteArray name = path.toLocal8Bit();
    std::snprintf(entry.name, sizeof entry.name, "%s", name.constData());
    std::snprintf(entry.description, sizeof entry.description, "%s Communications Port",
                  name.constData());
    portNames_.push_back(name.toStdString());
  }
  uint32_t count = kPortTableCapacity - extra;
  const int32_t found =
      count ? CommPortEnum(&enumerator_, ports_.data() + extra, &count, findAllComms_) : 0;
  const uint32_t total = extra + (found > 0 ? count : 0);
  ports_.resize(total);
  for (uint32_t i = extra; i < total; ++i) portNames_.push_back(ports_[i].name);
  return total;
}

void MainWindow::FillPortBox(uint32_t count, int shown) {
  cbCommPort_->clear();
  if (count == 0) {
    cbCommPort_->addItem(kNoPorts);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    cbCommPort_->addItem(ports_[i].description);
    if (ports_[i].busy && ports_[i].holderName[0]) {
      cbCommPort_->setItemData(
          static_cast<int>(i),
          QString("Held by %1 (process %2)").arg(ports_[i].holderName).arg(ports_[i].holderPid),
          Qt::ToolTipRole);
    }
  }
  cbCommPort_->setCurrentIndex(shown < static_cast<int>(count) ? shown : 0);
}

void MainWindow::PortListOpening() {
  if (Busy()) return;
  const uint32_t count = EnumeratePorts();
  FillPortBox(count, selected_);  // the port name and the selection stay as they were
}

void MainWindow::PortChosen(int index) {
  if (index < 0 || index >= static_cast<int>(portNames_.size())) return;
  selected_ = index;
  UpdateContext& context = run_->Context();
  context.portName = portNames_[index];
  context.portDescription = ports_[index].description;
  if (!context.portName.empty()) btnStart_->setEnabled(true);
}

void MainWindow::SetProductTexts() {
  const QString device = Q(run_->Context().deviceName);
  userText1_->setText("This utility updates " + device + " firmware to");
  userText2_->setText(run_->Context().loader->image.name);
  // The sensor updater talks to the reader the sensor hangs on.
  const QString reader = product_.digitalSensor ? QString(product_.readerName) : device;
  const QString connected = product_.digitalSensor ? QString(product_.connectName) : device;
  commLabel_->setText("Connect to " + reader + " with Comm Port");
  lblConnect_->setText("Connect " + connected + " to computer comm port.");
  FitTexts();
}

RunOptions MainWindow::CurrentOptions() const {
  RunOptions options;
  options.factoryMode = factoryMode_;
  options.serviceFlag = serviceFlag_;
  options.dontEraseData = dontEraseData_->isChecked();
  options.replaceSerial = replaceSerialNumber_->isChecked();
  options.newSerial = newSNstr_->text().toStdString();
  return options;
}

bool MainWindow::Busy() const {
  return run_->Running();
}

UpdateContext& MainWindow::Context() {
  return run_->Context();
}

const std::string& MainWindow::VersionFinderPath() const {
  return commands_->VersionFinderPath();
}

int32_t MainWindow::OpenFirmware(const QString& path) {
  return commands_->OpenFirmware(path);
}

void MainWindow::RequestRun() {
  if (Busy() || !btnStart_->isEnabled()) return;
  btnStart_->setEnabled(false);
  btnClose_->setEnabled(false);
  updateFirmware_->setEnabled(false);
  QTimer::singleShot(kStartTimerMs, this, &MainWindow::StartRun);
}

void MainWindow::StartRun() {
  cbCommPort_->setEnabled(false);
  openFirmware_->setEnabled(false);
  progressBar_->setValue(0);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  run_->Start(CurrentOptions());
}

void MainWindow::RunEnded(int result) {
  btnStart_->setEnabled(true);
  btnStart_->setDefault(false);
  btnClose_->setEnabled(true);
  btnClose_->setDefault(true);
  updateFirmware_->setEnabled(true);
  replaceSerialNumber_->setChecked(false);
  ShowNewSerialNumber(false);
  newSNstr_->clear();
  cbCommPort_->setEnabled(true);
  openFirmware_->setEnabled(serviceFlag_);
  QApplication::restoreOverrideCursor();
  emit runFinished(result);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  const UpdateContext& context = run_->Context();
  if (Busy()) {
    ShowMessageBox(this, Q(DontQuitText(context.caption, context.deviceName)), "Don't Quit Now!",
                   BoxKind::kWarning);
    event->ignore();
    return;
  }
  run_->Cancel();
  commands_->EndInternetServices();
  WriteOptions();
  event->accept();
}

void MainWindow::WriteOptions() {
  QSettings options(kOrganisation, kApplication);
  options.setValue("FindAllComms", findAllComms_);
  options.setValue("VerboseLog", verboseErrorFile_->isChecked());
  options.setValue("CommPort", Q(run_->Context().portName));
}

void MainWindow::ReportConstructorError(int32_t code) {
  launchError_ = Q(LaunchErrorText(run_->Context().caption, code));
  ShowMessageBox(this, launchError_, "Application Launch Error", BoxKind::kError);
  LogMessage(run_->Log(), vexa_log_level::kError, "VexaBSL frmMain",
             "HostBSL class got an constructor error (%d)", code);
  close();
}

void MainWindow::WarnOfDataErase() {
  const UpdateContext& context = run_->Context();
  const std::string text = DataEraseWarningText(context.caption, context.deviceName);
  ShowMessageBox(this, Q(text), "Data Erase Warning", BoxKind::kWarning);
  LogMessage(run_->Log(), vexa_log_level::kError, "ErrorOK Told User:", "%s", text.c_str());
  QTimer::singleShot(kWebCheckMs, this, &MainWindow::CheckVersionQuietly);
}

void MainWindow::CheckVersionQuietly() {
  commands_->RunVersionCheck(true);
}
