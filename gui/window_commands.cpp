#include "gui/window_commands.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

#include "app/feedback_hand_over.h"
#include "app/update_texts.h"
#include "gui/feedback_window.h"
#include "gui/message_box.h"
#include "gui/run_controller.h"
#include "gui/version_prompts.h"
#include "loader/firmware_image.h"
#include "net/feedback_post.h"
#include "net/http_client.h"
#include "net/service_config.h"
#include "net/version_texts.h"

#ifndef VEXABSL_VERSION
#define VEXABSL_VERSION ""
#endif

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

WindowCommands::WindowCommands(const Product& product, RunController* run, QWidget* window)
    : QObject(window),
      run_(run),
      window_(window),
      versionFinderPath_(product.versionDocument),
      http_(std::make_unique<net::HttpClient>()) {
  feedback_ = new FeedbackWindow(http_.get(), window);
}

WindowCommands::~WindowCommands() = default;

void WindowCommands::OpenFirmwareFile() {
  if (run_->Running()) return;  // the run is writing the image in use
  QFileDialog dialog(window_, "Please select a firmware file", QDir::currentPath(),
                     "Firmware File (*.txt);;Any File (*.*)");
  dialog.setDefaultSuffix("txt");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenFirmware(dialog.selectedFiles().first());
}

int32_t WindowCommands::OpenFirmware(const QString& path) {
  if (run_->Running()) return kErrCancelled;
  UpdateContext& context = run_->Context();
  const int32_t result = ::OpenFirmwareFile(context, path.toLocal8Bit().constData());
  if (result < 0) {
    const std::string name = QFileInfo(path).fileName().toStdString();
    ShowMessageBox(window_, Q(FileErrorText(context.caption, name, result)), "File Error",
                   BoxKind::kError);
    return result;
  }
  emit firmwareOpened();
  QApplication::beep();
  return result;
}

void WindowCommands::DumpFirmwareImage() {
  if (run_->Running()) return;
  QFileDialog dialog(window_, "Save Firmware Image");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("txt");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const int32_t result = BSLWriteTIFile(run_->Context().loader,
                                        dialog.selectedFiles().first().toLocal8Bit().constData());
  if (result < 0) {
    ShowMessageBox(window_, QString("Error saving firmware image: %1").arg(result), "Error",
                   BoxKind::kWarning);
  }
}

void WindowCommands::ShowHelp() {
  const UpdateContext& context = run_->Context();
  const std::string text =
      HelpText(context.caption, context.deviceName, context.productType, context.digitalSensor);
  ShowMessageBox(window_, Q(text), "Help", BoxKind::kPlain);
}

void WindowCommands::ShowAbout() {
  ShowMessageBox(window_, Q(AboutText(VEXABSL_VERSION)), "About " + Q(run_->Context().caption),
                 BoxKind::kInformation);
}

void WindowCommands::SetVerboseErrorFile(bool on) {
  run_->Log()->SetLevel(on ? vexa_log_level::kTrace : vexa_log_level::kError);
}

void WindowCommands::SendFeedback() {
  if (http_->Busy()) return;  // the client is in the middle of a check
  const UpdateContext& context = run_->Context();
  const FeedbackHandOverValues handOver = HandOverForFeedback(
      *run_->Log(), context.caption, context.loader->image.name, net::kErrorFileTail);
  FeedbackHandOver values;
  values.productName = Q(handOver.productName);
  values.productVersion = Q(handOver.productVersion);  // the window's version label
  values.defaultRecipient = Q(net::SupportEmail());
  values.errorLogs = QStringList{Q(handOver.errorFile), QString(), QString()};
  values.startFolder = QApplication::applicationDirPath();
  feedback_->HandOver(values);
  const std::string host = net::SoftwareHostUrl();
  const net::HttpReply reply = net::TestConnection(*http_, host);
  if (!reply.ok) {
    ShowMessageBox(window_, Q(net::InternetAccessErrorText(net::HostName(host), reply.error)),
                   "Internet Access Error", BoxKind::kError);
    return;
  }
  feedback_->show();
  feedback_->raise();
  feedback_->activateWindow();
}

void WindowCommands::CheckForUpdates() {
  RunVersionCheck(false);
}

void WindowCommands::RunVersionCheck(bool quiet) {
  if (http_->Busy()) return;  // one transfer at a time on the shared client
  const UpdateContext& context = run_->Context();
  WindowVersionPrompts prompts(window_);
  net::VersionCheckRequest request;
  request.carriedVersion = context.imageVersion;
  request.service = net::VersionServiceUrl();
  request.path = versionFinderPath_;
  request.quiet = quiet;
  request.product = net::ProductText(context.deviceName);
  request.log = run_->Log();
  const net::VersionCheckOutcome outcome = net::CheckVersion(*http_, prompts, request);
  emit versionCheckFinished(outcome.result);
}

void WindowCommands::EndInternetServices() {
  feedback_->close();  // ends a transfer of the form
  http_->Abort();
}
