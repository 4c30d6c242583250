// The menu commands of the window beside Start and Exit: opening another firmware file, writing
// the image out, the Help and About boxes, and the option items.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/update_texts.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "loader/firmware_image.h"

#ifndef VEXABSL_VERSION
#define VEXABSL_VERSION ""
#endif

void MainWindow::OpenFirmwareFileClicked() {
  if (busy_) return;  // the run is writing the image in use
  QFileDialog dialog(this, "Please select a firmware file", QDir::currentPath(),
                     "Firmware File (*.txt);;Any File (*.*)");
  dialog.setDefaultSuffix("txt");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenFirmware(dialog.selectedFiles().first());
}

int32_t MainWindow::OpenFirmware(const QString& path) {
  if (busy_) return kErrCancelled;
  const int32_t result = OpenFirmwareFile(*context_, path.toLocal8Bit().constData());
  if (result < 0) {
    const std::string name = QFileInfo(path).fileName().toStdString();
    ShowMessageBox(this, QString::fromStdString(FileErrorText(context_->caption, name, result)),
                   "File Error", BoxKind::kError);
    return result;
  }
  SetProductTexts();
  QApplication::beep();
  btnStart_->setEnabled(true);
  updateFirmware_->setEnabled(true);
  return result;
}

void MainWindow::DumpFirmwareImageClicked() {
  if (busy_) return;
  QFileDialog dialog(this, "Save Firmware Image");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("txt");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const int32_t result =
      BSLWriteTIFile(loader_, dialog.selectedFiles().first().toLocal8Bit().constData());
  if (result < 0) {
    ShowMessageBox(this, QString("Error saving firmware image: %1").arg(result), "Error",
                   BoxKind::kWarning);
  }
}

void MainWindow::HelpClicked() {
  const std::string text = HelpText(context_->caption, context_->deviceName, context_->productType,
                                    context_->digitalSensor);
  ShowMessageBox(this, QString::fromStdString(text), "Help", BoxKind::kPlain);
}

void MainWindow::AboutClicked() {
  ShowMessageBox(this, QString::fromStdString(AboutText(VEXABSL_VERSION)),
                 "About " + QString::fromStdString(context_->caption), BoxKind::kInformation);
}

void MainWindow::VerboseErrorFileClicked(bool checked) {
  verboseLog_ = checked;
  if (log_) log_->SetLevel(checked ? vexa_log_level::kTrace : vexa_log_level::kError);
}

void MainWindow::ReplaceSerialNumberClicked(bool checked) {
  newSN_->setVisible(checked);
  newSNstr_->setVisible(checked);
  if (checked) {
    FitTexts();
    newSNstr_->setFocus();
  }
}
