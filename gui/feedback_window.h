// The feedback form (frmWeb): the user's contact details, the kind of feedback, a description and
// an optional file, posted with the error file to the maker's feedback script. The main window
// creates it once, hands it its values and shows it (not modal) after the connection test. The
// contact details are remembered in the organisation's own options store ("FeedbackForm").
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace net {
class HttpClient;
}

// What the main window tells the form before it is shown.
struct FeedbackHandOver {
  QString productName;     // the main window's caption
  QString productVersion;  // the main window's version label (the image's version text)
  QString registeredName;
  QString registeredCompany;
  QString defaultRecipient;  // the maker's support address
  QStringList errorLogs;     // up to three; empty entries are skipped
  QString startFolder;       // where the file dialog opens
};

class FeedbackWindow : public QDialog {
  Q_OBJECT

 public:
  FeedbackWindow(net::HttpClient* client, QWidget* parent);

  void HandOver(const FeedbackHandOver& values);
  // The file dialog's part done: takes the file when it is within the 8 MiB limit, else shows the
  // "File Size Error" box and leaves the field empty. True when taken.
  bool ChooseSendFile(const QString& path);

 signals:
  // A send ended, with its result (1 sent, 0 the file could not be attached, -1000 not sent).
  void sendFinished(int result);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void BuildControls();
  void FormShow();
  void ApplyFeedbackType(int type);
  void LimitDescription();
  void SendFileClicked();
  void SendClicked();
  void StoreContactDetails() const;
  void AbortTransfer();

  net::HttpClient* client_;
  FeedbackHandOver values_;
  QString sendFilePath_;  // the field shows only its name
  bool transferring_ = false;

  QLineEdit* edName_ = nullptr;
  QLineEdit* edCompany_ = nullptr;
  QLineEdit* edEmail_ = nullptr;
  QLineEdit* edTelephone_ = nullptr;
  QComboBox* cbFeedbackType_ = nullptr;
  QComboBox* cbRespondVia_ = nullptr;
  QLabel* lblDescription_ = nullptr;
  QPlainTextEdit* reDescription_ = nullptr;
  QCheckBox* chkErrorLog_ = nullptr;
  QPushButton* btnSend_ = nullptr;
  QLineEdit* edSendFile_ = nullptr;
  QPushButton* btnSendFile_ = nullptr;
  QLineEdit* edEmailTo_ = nullptr;
  QProgressBar* pbWeb_ = nullptr;
};
