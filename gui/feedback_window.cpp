#include "gui/feedback_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

#include "gui/message_box.h"
#include "gui/window_frame.h"
#include "link/result.h"
#include "net/feedback_form.h"
#include "net/feedback_post.h"
#include "net/service_config.h"

namespace {

// The organisation's own store, not the updater's: every program of the maker shares it.
constexpr const char* kOrganisation = "Norvane Devices, Inc";
constexpr const char* kGroup = "FeedbackForm";

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string S(const QString& text) {
  return text.toStdString();
}

QLabel* LabelFor(const QString& text, QWidget* buddy, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

FeedbackWindow::FeedbackWindow(net::HttpClient* client, QWidget* parent)
    : QDialog(parent), client_(client) {
  setObjectName("frmWeb");
  setWindowTitle("Send Feedback to KALTO");
  SetFixedFrame(this, Qt::Dialog);
  BuildControls();
  layout()->setSizeConstraint(QLayout::SetFixedSize);  // a fixed single border
}

void FeedbackWindow::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  auto line = [this](const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    return edit;
  };
  edName_ = line("edName");
  edCompany_ = line("edCompany");
  edEmail_ = line("edEmail");
  edTelephone_ = line("edTelephone");
  cbFeedbackType_ = new QComboBox(this);
  cbFeedbackType_->setObjectName("cbFeedbackType");
  for (const char* type : net::kFeedbackTypes) cbFeedbackType_->addItem(type);
  cbRespondVia_ = new QComboBox(this);
  cbRespondVia_->setObjectName("cbRespondVia");
  for (const char* way : net::kRespondVia) cbRespondVia_->addItem(way);

  grid->addWidget(LabelFor("Name (required)", edName_, "lblName", this), 0, 0);
  grid->addWidget(edName_, 1, 0);
  grid->addWidget(LabelFor("Company Name", edCompany_, "lblCompany", this), 0, 1);
  grid->addWidget(edCompany_, 1, 1);
  grid->addWidget(LabelFor("Email Address", edEmail_, "lblEmail", this), 2, 0);
  grid->addWidget(edEmail_, 3, 0);
  grid->addWidget(LabelFor("Telephone (include area code)", edTelephone_, "lblTelephone", this), 2,
                  1);
  grid->addWidget(edTelephone_, 3, 1);
  grid->addWidget(LabelFor("Type of feedback", cbFeedbackType_, "lblFeedbackType", this), 4, 0);
  grid->addWidget(cbFeedbackType_, 5, 0);
  grid->addWidget(LabelFor("Please respond via", cbRespondVia_, "lblRespondVia", this), 4, 1);
  grid->addWidget(cbRespondVia_, 5, 1);
  layout->addLayout(grid);

  reDescription_ = new QPlainTextEdit(this);
  reDescription_->setObjectName("reDescription");
  reDescription_->setTabChangesFocus(true);  // Tab moves on, as in the other fields
  reDescription_->setMinimumSize(420, 140);
  lblDescription_ = LabelFor(Q(net::DescriptionLabel(0)), reDescription_, "lblDescription", this);
  layout->addWidget(lblDescription_);
  layout->addWidget(reDescription_);

  chkErrorLog_ = new QCheckBox(this);
  chkErrorLog_->setObjectName("chkErrorLog");
  chkErrorLog_->setVisible(false);
  layout->addWidget(chkErrorLog_);

  edSendFile_ = line("edSendFile");
  edSendFile_->setReadOnly(true);
  btnSendFile_ = new QPushButton("Browse...", this);
  btnSendFile_->setObjectName("btnSendFile");
  btnSendFile_->setAutoDefault(false);
  layout->addWidget(LabelFor("Send the following file (file size can be up to 6 MB):", edSendFile_,
                             "lblSendFile", this));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edSendFile_, 1);
  fileRow->addWidget(btnSendFile_);
  layout->addLayout(fileRow);

  edEmailTo_ = line("edEmailTo");
  layout->addWidget(LabelFor("Send the feedback to my KALTO Group Representative's email address:",
                             edEmailTo_, "lblEmailTo", this));
  layout->addWidget(edEmailTo_);

  pbWeb_ = new QProgressBar(this);
  pbWeb_->setObjectName("pbWeb");
  pbWeb_->setTextVisible(false);
  pbWeb_->setAccessibleName("Upload progress");  // it has no label of its own
  pbWeb_->setVisible(false);
  layout->addWidget(pbWeb_);

  btnSend_ = new QPushButton("Send", this);
  btnSend_->setObjectName("btnSend");
  btnSend_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnSend_);
  layout->addLayout(buttons);

  const QList<QWidget*> order = {edName_,         edCompany_,    edEmail_,       edTelephone_,
                                 cbFeedbackType_, cbRespondVia_, reDescription_, chkErrorLog_,
                                 btnSend_,        edSendFile_,   btnSendFile_,   edEmailTo_};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  connect(cbFeedbackType_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
          &FeedbackWindow::ApplyFeedbackType);
  connect(reDescription_, &QPlainTextEdit::textChanged, this, &FeedbackWindow::LimitDescription);
  connect(btnSendFile_, &QPushButton::clicked, this, &FeedbackWindow::SendFileClicked);
  connect(btnSend_, &QPushButton::clicked, this, &FeedbackWindow::SendClicked);
}

void FeedbackWindow::HandOver(const FeedbackHandOver& values) {
  values_ = values;
  chkErrorLog_->setText("Include " + values_.productName + " error log files");
}

void FeedbackWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only when the form opens; restoring it from the taskbar must not clear what was typed, nor
  // move it back.
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();  // the size for the texts FormShow set
  CentreOnWindow(this, parentWidget());
}

void FeedbackWindow::FormShow() {
  QSettings store(kOrganisation);
  store.beginGroup(kGroup);
  edName_->setText(store.value("Name").toString());
  edCompany_->setText(store.value("Company").toString());
  edTelephone_->setText(store.value("Phone").toString());
  edEmail_->setText(store.value("Email").toString());
  edEmailTo_->setText(store.value("EmailTo").toString());
  if (!values_.registeredName.isEmpty()) edName_->setText(values_.registeredName);
  if (!values_.registeredCompany.isEmpty()) edCompany_->setText(values_.registeredCompany);
  edSendFile_->clear();
  sendFilePath_.clear();
  reDescription_->clear();
  cbRespondVia_->setCurrentIndex(net::kRespondEmail);
  cbFeedbackType_->setCurrentIndex(0);
  ApplyFeedbackType(0);
  pbWeb_->setVisible(false);
  transferring_ = false;
}

void FeedbackWindow::ApplyFeedbackType(int type) {
  lblDescription_->setText(Q(net::DescriptionLabel(type)));
  chkErrorLog_->setChecked(net::ErrorLogChecked(type));
}

void FeedbackWindow::LimitDescription() {
  const qsizetype excess = reDescription_->toPlainText().size() - net::kMaxDescriptionLength;
  if (excess <= 0) return;
  // Take back what was just typed or pasted beyond the limit: it stands before the cursor.
  QTextCursor cursor = reDescription_->textCursor();
  const int end = cursor.position();
  const int start = end >= excess ? end - static_cast<int>(excess) : 0;
  cursor.setPosition(start);
  cursor.setPosition(start + static_cast<int>(excess), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  reDescription_->setTextCursor(cursor);
}

void FeedbackWindow::SendFileClicked() {
  edSendFile_->clear();
  sendFilePath_.clear();
  QFileDialog dialog(this, "Send File with Feedback", values_.startFolder, "Any File Type (*.*)");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ChooseSendFile(dialog.selectedFiles().first());
}

bool FeedbackWindow::ChooseSendFile(const QString& path) {
  edSendFile_->clear();
  sendFilePath_.clear();
  const QFileInfo file(path);
  if (file.size() > net::kMaxSendFileBytes) {
    ShowMessageBox(this, Q(net::FileSizeErrorText(S(file.fileName()), file.size())),
                   "File Size Error", BoxKind::kError);
    return false;
  }
  sendFilePath_ = file.absoluteFilePath();
  edSendFile_->setText(file.fileName());
  return true;
}

void FeedbackWindow::SendClicked() {
  if (!btnSend_->isEnabled() || client_->Busy()) return;
  net::FeedbackEntry entry;
  entry.name = S(edName_->text());
  entry.company = S(edCompany_->text());
  entry.email = S(edEmail_->text());
  entry.telephone = S(edTelephone_->text());
  entry.type = cbFeedbackType_->currentIndex();
  entry.respondVia = cbRespondVia_->currentIndex();
  entry.description = S(reDescription_->toPlainText());
  entry.emailTo = S(edEmailTo_->text());
  if (const auto refusal = net::CheckFeedback(entry)) {
    ShowMessageBox(this, Q(refusal->text), Q(refusal->title), BoxKind::kWarning);
    switch (refusal->focus) {
      case net::FeedbackControl::kName:
        edName_->setFocus();
        break;
      case net::FeedbackControl::kTelephone:
        edTelephone_->setFocus();
        break;
      case net::FeedbackControl::kEmailTo:
        edEmailTo_->setFocus();
        break;
      case net::FeedbackControl::kEmail:
        edEmail_->setFocus();
        break;
    }
    return;
  }

  btnSend_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  StoreContactDetails();

  net::FeedbackSender sender;
  sender.productName = S(values_.productName);
  sender.productVersion = S(values_.productVersion);
  sender.registeredName = S(values_.registeredName);
  sender.registeredCompany = S(values_.registeredCompany);
  sender.defaultRecipient = S(values_.defaultRecipient);
  sender.installationPath = net::RunningProgramPath();
  sender.computerInformation = net::LocalComputerInformation();
  net::FeedbackPost post;
  post.fields = net::FeedbackFields(entry, sender);
  for (const QString& log : values_.errorLogs) post.errorLogs.push_back(S(log));
  post.userFile = S(sendFilePath_);

  net::UploadObserver observer;
  observer.begin = [this](int64_t total) {
    if (total > net::kProgressBarAbove) pbWeb_->setVisible(true);
    pbWeb_->setMaximum(static_cast<int>(total));
    transferring_ = true;
  };
  // The client's own event loop lets pending window messages run during the transfer; a nested
  // processEvents here, inside the reply's progress signal, stalls the upload until it times out.
  observer.progress = [this](int64_t sent) { pbWeb_->setValue(static_cast<int>(sent)); };
  observer.end = [this] {
    pbWeb_->setVisible(false);
    transferring_ = false;
  };
  transferring_ = true;  // from here a close ends the transfer
  const net::FeedbackPostResult outcome =
      net::PostFeedback(*client_, net::SoftwareHostUrl(), post, observer);
  transferring_ = false;
  pbWeb_->setVisible(false);
  btnSend_->setEnabled(true);
  QApplication::restoreOverrideCursor();

  if (outcome.result == kResultOk) {
    hide();
    QApplication::processEvents();
    ShowMessageBox(parentWidget(), Q(net::ThankYouText(entry.type)), "Feedback Successfully Sent",
                   BoxKind::kInformation);
    close();
  } else if (outcome.result == kErrFeedbackFailed && isVisible()) {
    ShowMessageBox(this, Q(net::SendErrorText(entry.type, outcome.message)),
                   "Error Sending Feedback", BoxKind::kWarning);
  } else if (outcome.result == kResultNothingDone && isVisible()) {
    ShowMessageBox(this, Q(outcome.fileError), "Error Reading File", BoxKind::kError);
  }
  emit sendFinished(outcome.result);
}

void FeedbackWindow::StoreContactDetails() const {
  QSettings store(kOrganisation);
  store.beginGroup(kGroup);
  store.setValue("Name", edName_->text());
  store.setValue("Company", edCompany_->text());
  store.setValue("Phone", edTelephone_->text());
  store.setValue("Email", edEmail_->text());
  store.setValue("EmailTo", edEmailTo_->text());
}

void FeedbackWindow::AbortTransfer() {
  if (transferring_) client_->Abort();
}

void FeedbackWindow::closeEvent(QCloseEvent* event) {
  AbortTransfer();
  QDialog::closeEvent(event);
}

void FeedbackWindow::reject() {
  AbortTransfer();
  QDialog::reject();
}
