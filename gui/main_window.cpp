#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include "app/feedback_hand_over.h"
#include "app/product.h"
#include "app/update_texts.h"
#include "gui/feedback_window.h"
#include "gui/gui_front_end.h"
#include "gui/message_box.h"
#include "gui/port_combo_box.h"
#include "gui/product_picture.h"
#include "gui/version_prompts.h"
#include "gui/window_frame.h"
#include "net/feedback_post.h"
#include "net/http_client.h"
#include "net/service_config.h"
#include "net/version_texts.h"
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
    : QMainWindow(parent), product_(product), arguments_(arguments) {
  versionFinderPath_ = product_.versionDocument;
  SetFixedFrame(this, Qt::Window);
  setWindowIcon(QIcon(ProductPicture()));
  BuildControls();
  BuildMenus();
  http_ = std::make_unique<net::HttpClient>();
  feedback_ = new FeedbackWindow(http_.get(), this);
  // A window of fixed size, with room for the New Serial Number row when it is shown.
  newSN_->setVisible(true);
  newSNstr_->setVisible(true);
  const QSize size = sizeHint().expandedTo(QSize(346, 262));
  newSN_->setVisible(false);
  newSNstr_->setVisible(false);
  setFixedSize(size);
}

MainWindow::~MainWindow() {
  if (thread_) thread_->wait();
}

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
  auto* label1 = new QLabel("Status:", central);
  label1->setFont(Bold(label1->font()));
  statusText_ = new QLabel(central);
  statusText_->setWordWrap(true);
  statusText_->setVisible(false);
  status->addWidget(label1);
  status->addWidget(statusText_, 1);
  layout->addLayout(status);
  statusBar_ = new QProgressBar(central);
  statusBar_->setRange(0, 100);
  statusBar_->setValue(0);
  statusBar_->setTextVisible(false);
  label1->setBuddy(statusBar_);
  layout->addWidget(statusBar_);

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
  connect(btnStart_, &QPushButton::clicked, this, &MainWindow::StartClicked);
  connect(cbCommPort_, &PortComboBox::aboutToShowPopup, this, &MainWindow::PortListOpening);
  connect(cbCommPort_, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::PortChosen);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  openFirmware_ = file->addAction("&Open Firmware File...", QKeySequence("Ctrl+O"), this,
                                  &MainWindow::OpenFirmwareFileClicked);
  openFirmware_->setEnabled(false);
  updateFirmware_ =
      file->addAction("&Update Firmware", QKeySequence("Ctrl+F"), this, &MainWindow::StartClicked);
  dumpImage_ = file->addAction("&Dump Firmware Image...", QKeySequence("Ctrl+Alt+D"), this,
                               &MainWindow::DumpFirmwareImageClicked);
  dumpImage_->setVisible(false);
  // The hidden item's shortcut still reaches it.
  auto* dumpShortcut = new QAction(this);
  dumpShortcut->setShortcut(QKeySequence("Ctrl+Alt+D"));
  connect(dumpShortcut, &QAction::triggered, this, &MainWindow::DumpFirmwareImageClicked);
  addAction(dumpShortcut);
  file->addSeparator();
  file->addAction("&Exit", QKeySequence("Ctrl+Q"), this, &QWidget::close);

  QMenu* settings = menuBar()->addMenu("&Settings");
  verboseErrorFile_ = settings->addAction("&Verbose Error File");
  verboseErrorFile_->setCheckable(true);
  verboseErrorFile_->setChecked(true);
  verboseErrorFile_->setEnabled(false);
  connect(verboseErrorFile_, &QAction::toggled, this, &MainWindow::VerboseErrorFileClicked);
  findAllCommPorts_ = settings->addAction("Force Find All &Comm Ports");
  findAllCommPorts_->setCheckable(true);
  connect(findAllCommPorts_, &QAction::toggled, this, [this](bool on) { findAllComms_ = on; });
  dontEraseData_ = settings->addAction("&Don't Erase Data");
  dontEraseData_->setCheckable(true);
  dontEraseData_->setVisible(false);
  replaceSerialNumber_ = settings->addAction("&Replace Serial Number");
  replaceSerialNumber_->setCheckable(true);
  replaceSerialNumber_->setVisible(false);
  connect(replaceSerialNumber_, &QAction::toggled, this, &MainWindow::ReplaceSerialNumberClicked);
  sensorSeparator_ = settings->addSeparator();
  sensorSeparator_->setVisible(false);
  sensorHeading_ = settings->addAction("Set Digital Sensor to:");
  sensorHeading_->setEnabled(false);
  sensorHeading_->setVisible(false);
  BuildSensorTypeMenu(settings);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&Help", QKeySequence("F1"), this, &MainWindow::HelpClicked);
  help->addAction("Send Feedback to KALTO...", this, &MainWindow::SendFeedbackClicked);
  help->addAction("Check for Newer Firmware Version", this, &MainWindow::CheckForUpdatesClicked);
  help->addSeparator();
  about_ = help->addAction("&About...", this, &MainWindow::AboutClicked);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
  CentreOnScreen(this);
}

void MainWindow::FitTexts() {
  // The window keeps its size unless a wrapped text needs more lines than there is room for; then
  // it grows rather than cut the text off.
  layout()->activate();
  QWidget* central = centralWidget();
  QLayout* texts = central->layout();
  const int needed = texts->hasHeightForWidth() ? texts->minimumHeightForWidth(central->width())
                                                : texts->minimumSize().height();
  if (needed > central->height()) setFixedHeight(height() + needed - central->height());
}

void MainWindow::FormShow() {
  // The product this program is built for: the FieldPal, or the chosen sensor type.
  const QString device = QString::fromStdString(ProductDeviceName(product_));
  const QString caption = QString::fromStdString(ProductCaption(product_));
  setWindowTitle(caption);
  QApplication::setApplicationDisplayName(device + " Updater");
  about_->setText("About " + caption);

  for (int i = 1; i < arguments_.size(); ++i) {
    const QString& argument = arguments_[i];
    if (argument == "-factory") {
      factoryMode_ = serviceFlag_ = true;
    } else if (argument == "-rep") {
      serviceFlag_ = true;
    } else if (argument == "--port" && i + 1 < arguments_.size()) {
      extraPorts_ << arguments_[++i];
    } else if (argument == "--screenshot" && i + 1 < arguments_.size()) {
      screenshotPath_ = arguments_[++i];
    }
  }
  if (serviceFlag_) openFirmware_->setEnabled(true);
  if (factoryMode_) {
    replaceSerialNumber_->setVisible(true);
    dontEraseData_->setVisible(true);
    if (product_.digitalSensor) ShowSensorTypeMenu();
  }

  QSettings options(kOrganisation, kApplication);
  findAllComms_ = options.value("FindAllComms", false).toBool();
  findAllCommPorts_->setChecked(findAllComms_);
  verboseLog_ = true;
  verboseErrorFile_->setChecked(true);
  portRemembered_ = options.contains("CommPort");
  const QString rememberedPort = options.value("CommPort").toString();

  EngineDescription description;
  description.product = &product_;
  description.dataFolder = DataFolder();
  description.logLevel = verboseLog_ ? vexa_log_level::kTrace : vexa_log_level::kError;
  frontEnd_ = std::make_unique<GuiFrontEnd>(this, &continue_);
  engine_ = std::make_unique<UpdateEngine>(description, frontEnd_.get());
  log_ = &engine_->Log();
  loader_ = &engine_->Loader();
  context_ = &engine_->Context();
  enumerator_.log = log_;
  connect(frontEnd_.get(), &GuiFrontEnd::statusChanged, this, [this](const QString& text) {
    statusText_->setText(text);
    statusText_->setVisible(true);
    FitTexts();
  });
  connect(frontEnd_.get(), &GuiFrontEnd::statusHidden, statusText_, &QWidget::hide);
  connect(frontEnd_.get(), &GuiFrontEnd::progressChanged, statusBar_, &QProgressBar::setValue);
  connect(frontEnd_.get(), &GuiFrontEnd::connectLabelChanged, this, [this](const QString& text) {
    lblConnect_->setText(text);
    FitTexts();
  });

  const uint32_t count = EnumeratePorts();
  selected_ = 0;
  if (portRemembered_) {
    for (uint32_t i = 0; i < count; ++i) {
      if (rememberedPort == QString::fromStdString(portNames_[i])) {
        selected_ = static_cast<int>(i);
        break;
      }
    }
  }
  FillPortBox(count, selected_);
  if (count > 0) {
    context_->portName = portNames_[selected_];
    context_->portDescription = ports_[selected_].description;
  } else {
    context_->portName.clear();
    btnStart_->setEnabled(false);
  }

  SetProductTexts();
  // (The write increment and image version are the product's, as the context was made.)
  context_->eraseStep = 1;

  if (WarnsOfDataErase(product_.catalogueType) && !serviceFlag_ && !factoryMode_) {
    QTimer::singleShot(kEraseWarningMs, this, &MainWindow::EraseWarningTimerFired);
  } else {
    QTimer::singleShot(kWebCheckMs, this, &MainWindow::WebCheckTimerFired);
  }
  if (engine_->Status() < 0) {
    const int32_t code = engine_->Status();
    QTimer::singleShot(kConstructorErrorMs, this, [this, code] { ReportConstructorError(code); });
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
  if (busy_) return;
  const uint32_t count = EnumeratePorts();
  FillPortBox(count, selected_);  // the port name and the selection stay as they were
}

void MainWindow::PortChosen(int index) {
  if (index < 0 || index >= static_cast<int>(portNames_.size())) return;
  selected_ = index;
  context_->portName = portNames_[index];
  context_->portDescription = ports_[index].description;
  if (!context_->portName.empty()) btnStart_->setEnabled(true);
}

void MainWindow::SetProductTexts() {
  const QString device = Q(context_->deviceName);
  userText1_->setText("This utility updates " + device + " firmware to");
  userText2_->setText(loader_->image.name);
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

void MainWindow::StartClicked() {
  if (busy_ || !btnStart_->isEnabled()) return;
  btnStart_->setEnabled(false);
  btnClose_->setEnabled(false);
  updateFirmware_->setEnabled(false);
  QTimer::singleShot(kStartTimerMs, this, &MainWindow::StartTimerFired);
}

void MainWindow::StartTimerFired() {
  cbCommPort_->setEnabled(false);
  openFirmware_->setEnabled(false);
  busy_ = true;
  continue_ = true;
  statusBar_->setValue(0);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  frontEnd_->SetOptions(CurrentOptions());
  thread_ = new UpdateThread(context_, this);
  connect(thread_, &QThread::finished, this, &MainWindow::RunEnded);
  thread_->start();
}

void MainWindow::RunEnded() {
  const int32_t result = thread_->Result();
  thread_->deleteLater();
  thread_ = nullptr;
  btnStart_->setEnabled(true);
  btnStart_->setDefault(false);
  btnClose_->setEnabled(true);
  btnClose_->setDefault(true);
  updateFirmware_->setEnabled(true);
  replaceSerialNumber_->setChecked(false);
  newSN_->setVisible(false);
  newSNstr_->setVisible(false);
  newSNstr_->clear();
  cbCommPort_->setEnabled(true);
  openFirmware_->setEnabled(serviceFlag_);
  QApplication::restoreOverrideCursor();
  busy_ = false;
  emit runFinished(result);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    ShowMessageBox(this, Q(DontQuitText(context_->caption, context_->deviceName)),
                   "Don't Quit Now!", BoxKind::kWarning);
    event->ignore();
    return;
  }
  continue_ = false;
  if (feedback_) feedback_->close();  // ends a transfer of the form
  http_->Abort();
  WriteOptions();
  event->accept();
}

void MainWindow::WriteOptions() {
  QSettings options(kOrganisation, kApplication);
  options.setValue("FindAllComms", findAllComms_);
  options.setValue("VerboseLog", verboseErrorFile_->isChecked());
  options.setValue("CommPort", context_ ? Q(context_->portName) : QString());
}

void MainWindow::ReportConstructorError(int32_t code) {
  const std::string caption = context_->caption;
  ShowMessageBox(this, Q(LaunchErrorText(caption, code)), "Application Launch Error",
                 BoxKind::kError);
  LogMessage(log_, vexa_log_level::kError, "VexaBSL frmMain",
             "HostBSL class got an constructor error (%d)", code);
  close();
}

void MainWindow::EraseWarningTimerFired() {
  const std::string text = DataEraseWarningText(context_->caption, context_->deviceName);
  ShowMessageBox(this, Q(text), "Data Erase Warning", BoxKind::kWarning);
  LogMessage(log_, vexa_log_level::kError, "ErrorOK Told User:", "%s", text.c_str());
  QTimer::singleShot(kWebCheckMs, this, &MainWindow::WebCheckTimerFired);
}

void MainWindow::WebCheckTimerFired() {
  RunVersionCheck(true);
}

void MainWindow::SendFeedbackClicked() {
  if (http_->Busy()) return;  // the client is in the middle of a check
  const FeedbackHandOverValues handOver =
      HandOverForFeedback(*log_, context_->caption, loader_->image.name, net::kErrorFileTail);
  FeedbackHandOver values;
  values.productName = Q(handOver.productName);
  values.productVersion = Q(handOver.productVersion);
  values.defaultRecipient = Q(net::SupportEmail());
  values.errorLogs = QStringList{Q(handOver.errorFile), QString(), QString()};
  values.startFolder = QApplication::applicationDirPath();
  feedback_->HandOver(values);
  const QUrl host = net::SoftwareHostUrl();
  const net::HttpReply reply = net::TestConnection(*http_, host);
  if (!reply.ok) {
    ShowMessageBox(this, Q(net::InternetAccessErrorText(host.host().toStdString(), reply.error)),
                   "Internet Access Error", BoxKind::kError);
    return;
  }
  feedback_->show();
  feedback_->raise();
  feedback_->activateWindow();
}

void MainWindow::CheckForUpdatesClicked() {
  RunVersionCheck(false);
}

void MainWindow::RunVersionCheck(bool quiet) {
  if (http_->Busy()) return;  // one transfer at a time on the shared client
  WindowVersionPrompts prompts(this);
  net::VersionCheckRequest request;
  request.carriedVersion = context_->imageVersion;
  request.service = net::VersionServiceUrl();
  request.path = versionFinderPath_;
  request.quiet = quiet;
  request.product = net::ProductText(context_->deviceName);
  request.log = log_;
  const net::VersionCheckOutcome outcome = net::CheckVersion(*http_, prompts, request);
  emit versionCheckFinished(outcome.result);
}
