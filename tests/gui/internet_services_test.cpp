// The window's internet services on the offscreen platform, against a real HTTP server on
// loopback (tests/net/http_server.py): the automatic version check after start-up, the one of the
// Help menu, and the feedback form it opens, its checks, its post and its outcome boxes.
//
// Every test has its own home, configuration and data folders; the options store names the
// loopback server as the version service and as the software host. Boxes are answered (and
// recorded) by a timer; links the window opens are recorded by a URL handler instead of a browser.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "gui/feedback_window.h"
#include "gui/main_window.h"
#include "net/service_config.h"
#include "tests/gui/window_test.h"

namespace {

constexpr const char* kVersionPath = "/versionfinder/FieldPal-C-Firmware.txt";
constexpr int kWaitMs = 20000;

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString focusAfter;  // the object name of the focused widget once the box was closed
};

// Answers every message box: records it and presses Yes for "New Version Available" when told
// to, OK (or No) otherwise.
class BoxAnswerer : public BoxAnswering {
 public:
  QStringList Titles() const {
    QStringList titles;
    for (const SeenBox& box : seen) titles << box.title;
    return titles;
  }

  QList<SeenBox> seen;
  bool yes = true;

 private:
  void Answer(QMessageBox* box) override {
    seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), {}});
    QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
    if (!button) button = box->button(QMessageBox::Ok);
    if (button) button->click();
  }
};

// Stands in for the desktop's browser: records the links handed to QDesktopServices.
class LinkRecorder : public QObject {
  Q_OBJECT
 public:
  Q_INVOKABLE void Open(const QUrl& url) { links << url.toString(); }
  QStringList links;
};

// The loopback server as a child process.
class LoopbackServer {
 public:
  explicit LoopbackServer(const QString& folder)
      : routes_(folder + "/routes.json"), record_(folder + "/record.jsonl") {}
  ~LoopbackServer() {
    process_.kill();
    process_.waitForFinished();
  }
  bool Start(const nlohmann::json& routes) {
    SetRoutes(routes);
    process_.start(VEXA_PYTHON, {VEXA_LOOPBACK_SERVER, routes_, record_});
    if (!process_.waitForStarted() || !process_.waitForReadyRead(kWaitMs)) return false;
    port_ = process_.readLine().trimmed().toInt();
    return port_ > 0;
  }
  void SetRoutes(const nlohmann::json& routes) {
    QFile file(routes_);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      file.write(QByteArray::fromStdString(routes.dump()));
    }
  }
  QString Url() const { return QString("http://127.0.0.1:%1").arg(port_); }
  // The requests so far, in order.
  std::vector<nlohmann::json> Requests() const {
    std::vector<nlohmann::json> requests;
    QFile file(record_);
    if (!file.open(QIODevice::ReadOnly)) return requests;
    while (!file.atEnd()) {
      const QByteArray line = file.readLine().trimmed();
      if (!line.isEmpty()) requests.push_back(nlohmann::json::parse(line.toStdString()));
    }
    return requests;
  }

 private:
  QString routes_;
  QString record_;
  QProcess process_;
  int port_ = 0;
};

// A recorded request's header by its name (the record keeps them as [name, value] pairs).
nlohmann::json Header(const nlohmann::json& request, const std::string& name) {
  for (const auto& header : request["headers"]) {
    if (QString::fromStdString(header[0]).compare(QString::fromStdString(name),
                                                  Qt::CaseInsensitive) == 0) {
      return header[1];
    }
  }
  return "";
}

nlohmann::json Route(int status, const std::string& body, const std::string& type = "text/plain") {
  return {{"status", status}, {"body", body}, {"content_type", type}};
}

QString Text(const nlohmann::json& value) {
  return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

}  // namespace

class InternetServicesTest : public WindowTest {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void theAutomaticCheckOffersANewerVersionAndYesOpensTheLink_data();
  void theAutomaticCheckOffersANewerVersionAndYesOpensTheLink();
  void theManualCheckTellsWhatItFound_data();
  void theManualCheckTellsWhatItFound();
  void theFeedbackFormOpensOnlyWhenTheSoftwareHostAnswers_data();
  void theFeedbackFormOpensOnlyWhenTheSoftwareHostAnswers();
  void theSendChecksRefuseWithTheirBoxAndFocus_data();
  void theSendChecksRefuseWithTheirBoxAndFocus();
  void aSendPostsTheFieldsInOrderWithTheErrorFileAndRemembersTheContact();
  void anHtmlErrorPageIsAFailedSend();
  void theSoftwareVersionIsTheCaptionAndTheVersionLabel_data();
  void theSoftwareVersionIsTheCaptionAndTheVersionLabel();
  void theSendFileMayBeUpToEightMebibytes_data();
  void theSendFileMayBeUpToEightMebibytes();
  void aLargeUploadShowsTheProgressBarAndSendsTheFileAsItIs();
  void closingTheFormDuringTheUploadEndsIt();

 private:
  // The loopback server with the routes, named in the options store for both services.
  bool StartServer(const nlohmann::json& routes, bool softwareHost = true) {
    if (!server_->Start(routes)) return false;
    QSettings options(kOrganisation, kApplication);
    options.setValue("VersionServer", server_->Url());
    // Nothing listens on port 1 of loopback: the connection is refused.
    options.setValue("SoftwareServer", softwareHost ? server_->Url() : "http://127.0.0.1:1");
    return true;
  }
  // A window started with "-factory" (no data-erase warning) whose automatic check is over.
  std::unique_ptr<MainWindow> StartedWindow(const Product& product = kFieldPalProduct) {
    auto window =
        std::make_unique<MainWindow>(QStringList{"fieldpal-updater", "-factory"}, nullptr, product);
    QSignalSpy checked(window.get(), &MainWindow::versionCheckFinished);
    window->show();
    if (!checked.wait(kWaitMs) && checked.isEmpty()) return nullptr;
    return window;
  }
  // Opens the form from the Help menu; the form, or null when it did not show.
  FeedbackWindow* OpenForm(MainWindow& window) {
    QAction* item = MenuItem(window, "Send Feedback to KALTO...");
    if (!item) return nullptr;
    item->trigger();
    auto* form = window.findChild<FeedbackWindow*>("frmWeb");
    return form && form->isVisible() ? form : nullptr;
  }
  template <typename T>
  static T* Child(QWidget* form, const char* name) {
    return form->findChild<T*>(name);
  }
  static void Fill(QWidget* form, const QString& name, const QString& email, const QString& phone,
                   int respondVia, const QString& emailTo) {
    Child<QLineEdit>(form, "edName")->setText(name);
    Child<QLineEdit>(form, "edEmail")->setText(email);
    Child<QLineEdit>(form, "edTelephone")->setText(phone);
    Child<QComboBox>(form, "cbRespondVia")->setCurrentIndex(respondVia);
    Child<QLineEdit>(form, "edEmailTo")->setText(emailTo);
  }

  std::unique_ptr<BoxAnswerer> answerer_;
  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<LinkRecorder> links_;
};

void InternetServicesTest::init() {
  QVERIFY(MakeScratchHome({"server"}));
  answerer_ = std::make_unique<BoxAnswerer>();
  server_ = std::make_unique<LoopbackServer>(Scratch("server"));
  links_ = std::make_unique<LinkRecorder>();
  QDesktopServices::setUrlHandler("http", links_.get(), "Open");
  QDesktopServices::setUrlHandler("https", links_.get(), "Open");
}

void InternetServicesTest::cleanup() {
  if (QTest::currentTestFailed()) {
    PrintErrorFile();
    for (const SeenBox& box : answerer_->seen) {
      std::printf("box \"%s\": %s\n", qPrintable(box.title), qPrintable(box.text));
    }
  }
  QDesktopServices::unsetUrlHandler("http");
  QDesktopServices::unsetUrlHandler("https");
  server_.reset();
  links_.reset();
  answerer_.reset();
  RemoveScratchHome();
}

void InternetServicesTest::theAutomaticCheckOffersANewerVersionAndYesOpensTheLink_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<bool>("yes");
  QTest::addColumn<QString>("question");
  QTest::addColumn<QStringList>("opened");
  const QString page = "https://www.norvane.example/fieldpal/news.html";
  const QString installer = "http://www.norvane.example/fieldpal/setup.exe";
  QTest::newRow("a page about a newer version, Yes")
      << "2.01\r\n" + page << true
      << "There is information about a newer version of FieldPal Firmware Updater\navailable at " +
             page + "\n\nWould you like to visit this page with your web browser now?"
      << QStringList{page};
  QTest::newRow("a newer installer, Yes")
      << "201\n" + installer + "\n"
      << true
      << "There is newer version of FieldPal Firmware Updater available for download.\n\n"
         "Would you like to download this new version with your web browser now?"
      << QStringList{installer};
  QTest::newRow("a newer installer, No opens nothing")
      << "3\r\n" + installer << false
      << "There is newer version of FieldPal Firmware Updater available for download.\n\n"
         "Would you like to download this new version with your web browser now?"
      << QStringList{};
  QTest::newRow("the same version says nothing")
      << "2.00\r\n" + page << true << QString() << QStringList{};
  QTest::newRow("an unreadable answer says nothing")
      << "no link here" << true << QString() << QStringList{};
}

void InternetServicesTest::theAutomaticCheckOffersANewerVersionAndYesOpensTheLink() {
  QFETCH(QString, body);
  QFETCH(bool, yes);
  QFETCH(QString, question);
  QFETCH(QStringList, opened);
  QVERIFY(StartServer({{std::string("GET ") + kVersionPath, Route(200, body.toStdString())}}));
  answerer_->yes = yes;

  const auto window = StartedWindow();
  QVERIFY(window);

  const auto requests = server_->Requests();
  QCOMPARE(requests.size(), size_t{1});
  QCOMPARE(Text(requests[0]["path"]), QString(kVersionPath));
  QCOMPARE(Text(Header(requests[0], "Accept")), QString("text/html, */*"));
  QCOMPARE(Text(Header(requests[0], "User-Agent")),
           QString("Mozilla/3.0 (compatible; Indy Library)"));
  if (question.isEmpty()) {
    QCOMPARE(answerer_->seen.size(), 0);
  } else {
    QCOMPARE(answerer_->Titles(), QStringList{"New Version Available"});
    QCOMPARE(answerer_->seen[0].text, question);
    QCOMPARE(answerer_->seen[0].icon, QMessageBox::Information);
    QCOMPARE(answerer_->seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  }
  QCOMPARE(links_->links, opened);
}

void InternetServicesTest::theManualCheckTellsWhatItFound_data() {
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("icon");
  const std::string link = "\r\nhttps://www.norvane.example/fieldpal.html";
  QTest::newRow("the same version")
      << 200 << QString::fromStdString("2.00" + link) << "Version Finder"
      << "You are using the latest version of FieldPal Firmware Updater."
      << int(QMessageBox::Information);
  QTest::newRow("an older version on the service")
      << 200 << QString::fromStdString("1.99" + link) << "Version Finder"
      << "You are running a newer version of FieldPal Firmware Updater\n"
         "than is available from Norvane's web site."
      << int(QMessageBox::Information);
  QTest::newRow("an answer without a link")
      << 200 << "2.01"
      << "Version Check Error"
      << "Error parsing the version information returned by \nNorvane's version check service.\n"
         "[error -1002]\n\nPlease try again or contact Norvane for help."
      << int(QMessageBox::Critical);
  QTest::newRow("an HTTP error status")
      << 404 << "<html>Not Found</html>"
      << "Version Check Error"
      << "Error connecting to Norvane's version check service.\n"
         "This feature requires your computer to be connected \nto the internet.\n"
         "\n\nPlease make a connection to the internet and try again.\n\nError: "
      << int(QMessageBox::Critical);
}

void InternetServicesTest::theManualCheckTellsWhatItFound() {
  QFETCH(int, status);
  QFETCH(QString, body);
  QFETCH(QString, title);
  QFETCH(QString, text);
  QFETCH(int, icon);
  QVERIFY(StartServer({{std::string("GET ") + kVersionPath, Route(status, body.toStdString())}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  QCOMPARE(answerer_->seen.size(), 0);  // the automatic check is quiet about all of these

  QSignalSpy checked(window.get(), &MainWindow::versionCheckFinished);
  QAction* item = MenuItem(*window, "Check for Newer Firmware Version");
  QVERIFY(item);
  item->trigger();
  QCOMPARE(checked.size(), 1);

  QCOMPARE(answerer_->Titles(), QStringList{title});
  QVERIFY2(answerer_->seen[0].text.startsWith(text), qPrintable(answerer_->seen[0].text));
  QCOMPARE(int(answerer_->seen[0].icon), icon);
  QCOMPARE(server_->Requests().size(), size_t{2});
  QCOMPARE(links_->links, QStringList{});
}

void InternetServicesTest::theFeedbackFormOpensOnlyWhenTheSoftwareHostAnswers_data() {
  QTest::addColumn<bool>("reachable");
  QTest::newRow("the host answers") << true;
  QTest::newRow("nothing listens") << false;
}

void InternetServicesTest::theFeedbackFormOpensOnlyWhenTheSoftwareHostAnswers() {
  QFETCH(bool, reachable);
  QVERIFY(StartServer({{"GET /", Route(200, "<html>Norvane</html>", "text/html")}}, reachable));
  const auto window = StartedWindow();
  QVERIFY(window);

  FeedbackWindow* form = OpenForm(*window);

  if (!reachable) {
    QVERIFY(!form);
    QCOMPARE(answerer_->Titles(), QStringList{"Internet Access Error"});
    QVERIFY(answerer_->seen[0].text.startsWith(
        "Error connecting to Norvane's customer feedback internet service.\n\n"
        "This feature requires your computer to be connected to the internet\n"));
    QVERIFY(answerer_->seen[0].text.contains("127.0.0.1"));
    QCOMPARE(answerer_->seen[0].icon, QMessageBox::Critical);
    return;
  }
  QVERIFY(form);
  QVERIFY(!form->isModal());
  QCOMPARE(answerer_->seen.size(), 0);
  const auto requests = server_->Requests();
  QCOMPARE(Text(requests.back()["path"]), QString("/"));
  QCOMPARE(form->windowTitle(), QString("Send Feedback to KALTO"));
  QCOMPARE(form->minimumSize(), form->maximumSize());  // fixed size
  // The controls as the form opens.
  QCOMPARE(Child<QComboBox>(form, "cbFeedbackType")->currentText(), QString("General Feedback"));
  QCOMPARE(Child<QComboBox>(form, "cbRespondVia")->currentText(), QString("Email"));
  QCOMPARE(Child<QLabel>(form, "lblDescription")->text(),
           QString("Please describe the feedback below"));
  Child<QComboBox>(form, "cbFeedbackType")->setCurrentIndex(2);
  QCOMPARE(Child<QLabel>(form, "lblDescription")->text(),
           QString("Please describe the bug or issue below"));
  auto* errorLog = Child<QCheckBox>(form, "chkErrorLog");
  QVERIFY(errorLog->isHidden() && errorLog->isChecked());
  QCOMPARE(errorLog->text(), QString("Include FieldPal Firmware Updater error log files"));
  QVERIFY(Child<QPushButton>(form, "btnSend")->isDefault());
  QVERIFY(Child<QLineEdit>(form, "edSendFile")->isReadOnly());
  QVERIFY(Child<QWidget>(form, "pbWeb")->isHidden());
  auto* description = Child<QPlainTextEdit>(form, "reDescription");
  description->setFocus();
  description->insertPlainText(QString(2050, 'x'));
  QCOMPARE(description->toPlainText().size(), 2048);
}

void InternetServicesTest::theSendChecksRefuseWithTheirBoxAndFocus_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("email");
  QTest::addColumn<QString>("phone");
  QTest::addColumn<int>("respondVia");
  QTest::addColumn<QString>("emailTo");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("focus");
  QTest::newRow("no name") << ""
                           << "a@b.example"
                           << "1" << 1 << ""
                           << "Missing Information"
                           << "edName";
  QTest::newRow("no way to answer") << "Ann"
                                    << ""
                                    << "" << 1 << ""
                                    << "Missing Information"
                                    << "edTelephone";
  QTest::newRow("a representative without @") << "Ann"
                                              << "a@b.example"
                                              << "" << 1 << "rep.example"
                                              << "Bad Email Address"
                                              << "edEmailTo";
  QTest::newRow("an address with a blank") << "Ann"
                                           << "a @b.example"
                                           << "" << 1 << ""
                                           << "Bad Email Address"
                                           << "edEmail";
}

void InternetServicesTest::theSendChecksRefuseWithTheirBoxAndFocus() {
  QFETCH(QString, name);
  QFETCH(QString, email);
  QFETCH(QString, phone);
  QFETCH(int, respondVia);
  QFETCH(QString, emailTo);
  QFETCH(QString, title);
  QFETCH(QString, focus);
  QVERIFY(StartServer({{"GET /", Route(200, "ok")}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  const size_t before = server_->Requests().size();
  Fill(form, name, email, phone, respondVia, emailTo);
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(answerer_->Titles(), QStringList{title});
  QCOMPARE(answerer_->seen[0].icon, QMessageBox::Warning);
  // The window's own focus child: the offscreen platform need not make the form active.
  QVERIFY(form->focusWidget());
  QCOMPARE(form->focusWidget()->objectName(), focus);
  QCOMPARE(finished.size(), 0);
  QCOMPARE(server_->Requests().size(), before);  // nothing was sent
}

void InternetServicesTest::aSendPostsTheFieldsInOrderWithTheErrorFileAndRemembersTheContact() {
  QVERIFY(StartServer({{"GET /", Route(200, "ok")},
                       {"POST /php-bin/app_feedback.php",
                        Route(200, "<html>Script Completed</html>", "text/html")}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  Fill(form, "Ann Field", "ann@lab.example", "555 0100", 1, "");
  Child<QLineEdit>(form, "edCompany")->setText("Lab");
  Child<QComboBox>(form, "cbFeedbackType")->setCurrentIndex(2);
  Child<QPlainTextEdit>(form, "reDescription")->setPlainText("The reader stops at 50 %.");
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(finished.size(), 1);
  QCOMPARE(finished[0][0].toInt(), 1);
  QCOMPARE(answerer_->Titles(), QStringList{"Feedback Successfully Sent"});
  QCOMPARE(answerer_->seen[0].text, QString("Thank you for submitting your Bug Report."));
  QCOMPARE(answerer_->seen[0].icon, QMessageBox::Information);
  QVERIFY(!form->isVisible());

  const auto requests = server_->Requests();
  const nlohmann::json& post = requests.back();
  QCOMPARE(Text(post["method"]), QString("POST"));
  QCOMPARE(Text(post["path"]), QString("/php-bin/app_feedback.php"));
  QVERIFY(Text(Header(post, "Content-Type")).startsWith("multipart/form-data"));
  const QByteArray body = QByteArray::fromBase64(QByteArray::fromStdString(post["body"]));
  QStringList names;
  static const QRegularExpression disposition("Content-Disposition: form-data; name=\"([^\"]*)\"");
  for (const auto& match : disposition.globalMatch(QString::fromUtf8(body))) {
    names << match.captured(1);
  }
  QCOMPARE(names, (QStringList{"EmailTo", "EmailSubject", "Name", "Company Name", "Email",
                               "Telephone", "Respond Via", "Registered Name", "Registered Company",
                               "Software Version", "Installation Path", "Computer Information",
                               "Feedback", "FieldPal Firmware Updater.errors.txt"}));
  const QString text = QString::fromUtf8(body);
  for (const QString& value :
       {QString("\r\n\r\n") + QString::fromStdString(net::SupportEmail()) + "\r\n",
        QString("\r\n\r\nFieldPal Firmware Updater Bug Report\r\n"),
        QString("\r\n\r\nAnn Field\r\n"), QString("\r\n\r\nEmail\r\n"),
        QString("\r\n\r\nFieldPal Firmware Updater version QRN 2.00 C\r\n"),
        QString("\r\n\r\nThe reader stops at 50 %.\r\n"),
        QString("filename=\"") + ErrorFile() + "\""}) {
    QVERIFY2(text.contains(value), qPrintable(value));
  }
  QVERIFY(text.contains(ReadText(ErrorFile())));  // the error file, whole

  // The contact details are kept in the organisation's store.
  QSettings store(kOrganisation);
  store.beginGroup("FeedbackForm");
  QCOMPARE(store.value("Name").toString(), QString("Ann Field"));
  QCOMPARE(store.value("Company").toString(), QString("Lab"));
  QCOMPARE(store.value("Phone").toString(), QString("555 0100"));
  QCOMPARE(store.value("Email").toString(), QString("ann@lab.example"));
  QCOMPARE(store.value("EmailTo").toString(), QString());
  // ...and fill the form when it opens again, which starts over otherwise.
  form = OpenForm(*window);
  QVERIFY(form);
  QCOMPARE(Child<QLineEdit>(form, "edName")->text(), QString("Ann Field"));
  QCOMPARE(Child<QLineEdit>(form, "edTelephone")->text(), QString("555 0100"));
  QCOMPARE(Child<QPlainTextEdit>(form, "reDescription")->toPlainText(), QString());
  QCOMPARE(Child<QComboBox>(form, "cbFeedbackType")->currentIndex(), 0);
}

void InternetServicesTest::anHtmlErrorPageIsAFailedSend() {
  QVERIFY(
      StartServer({{"GET /", Route(200, "ok")},
                   {"POST /php-bin/app_feedback.php",
                    Route(200, "<html><body>Warning: mail() failed</body></html>", "text/html")}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  Fill(form, "Ann", "", "", 0, "");
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(finished.size(), 1);
  QCOMPARE(finished[0][0].toInt(), -1000);
  QCOMPARE(answerer_->Titles(), QStringList{"Error Sending Feedback"});
  QCOMPARE(answerer_->seen[0].text,
           QString("There was an error trying to send your General Feedback to Norvane.\n\n"
                   "Please try again."));
  QCOMPARE(answerer_->seen[0].icon, QMessageBox::Warning);
  QVERIFY(form->isVisible());
  QVERIFY(Child<QPushButton>(form, "btnSend")->isEnabled());
}

void InternetServicesTest::theSoftwareVersionIsTheCaptionAndTheVersionLabel_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<QString>("version");
  QTest::newRow("the FieldPal updater") << false << "FieldPal Firmware Updater version QRN 2.00 C";
  QTest::newRow("the sensor updater")
      << true << "AERIX 14 Sensor Firmware Updater version AERIX14 4.00";
}

void InternetServicesTest::theSoftwareVersionIsTheCaptionAndTheVersionLabel() {
  QFETCH(bool, sensorUpdater);
  QFETCH(QString, version);
  QVERIFY(StartServer({{"GET /", Route(200, "ok")},
                       {"POST /php-bin/app_feedback.php", Route(200, "Script Completed")}}));
  const auto window = StartedWindow(sensorUpdater ? kSensorProduct : kFieldPalProduct);
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  Fill(form, "Ann", "", "", 0, "");
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(finished.size(), 1);
  QCOMPARE(finished[0][0].toInt(), 1);
  const auto requests = server_->Requests();
  const QString body =
      QString::fromUtf8(QByteArray::fromBase64(QByteArray::fromStdString(requests.back()["body"])));
  const QString field = "Content-Disposition: form-data; name=\"Software Version\"";
  QVERIFY2(body.contains(field), qPrintable(body.left(2000)));
  // The field's value: after its headers' blank line, up to the line end.
  const qsizetype start = body.indexOf("\r\n\r\n", body.indexOf(field)) + 4;
  QCOMPARE(body.mid(start, body.indexOf("\r\n", start) - start), version);
}

void InternetServicesTest::theSendFileMayBeUpToEightMebibytes_data() {
  QTest::addColumn<qint64>("size");
  QTest::addColumn<bool>("taken");
  QTest::newRow("8388608 bytes") << qint64{8388608} << true;
  QTest::newRow("8388609 bytes") << qint64{8388609} << false;
}

void InternetServicesTest::theSendFileMayBeUpToEightMebibytes() {
  QFETCH(qint64, size);
  QFETCH(bool, taken);
  QVERIFY(StartServer({{"GET /", Route(200, "ok")}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  const QString path = Scratch("readings.bin");
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
  }

  QCOMPARE(form->ChooseSendFile(path), taken);

  auto* field = Child<QLineEdit>(form, "edSendFile");
  if (taken) {
    QCOMPARE(field->text(), QString("readings.bin"));
    QCOMPARE(answerer_->seen.size(), 0);
    return;
  }
  QCOMPARE(field->text(), QString());
  QCOMPARE(answerer_->Titles(), QStringList{"File Size Error"});
  QCOMPARE(
      answerer_->seen[0].text,
      QString("The file \"readings.bin\" is too big.\n\n"
              "The maximun file size you can send with your feedback\n"
              "is 8 megabytes (this file is 8.0 MB).\n\nPlease choose a different file to send."));
}

void InternetServicesTest::aLargeUploadShowsTheProgressBarAndSendsTheFileAsItIs() {
  QVERIFY(StartServer({{"GET /", Route(200, "ok")},
                       {"POST /php-bin/app_feedback.php", Route(200, "Script Completed")}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  QByteArray content;
  for (int i = 0; i < 3 * 1048576; ++i) content.append(char(i * 7 + i / 251));
  const QString path = Scratch("dump.bin");
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QVERIFY(form->ChooseSendFile(path));
  Fill(form, "Ann", "ann@lab.example", "", 1, "");
  auto* bar = Child<QProgressBar>(form, "pbWeb");
  bool shownWhileMoving = false;
  int maximum = 0;
  connect(bar, &QProgressBar::valueChanged, form, [&] {
    shownWhileMoving = shownWhileMoving || !bar->isHidden();
    maximum = bar->maximum();
  });
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(finished.size(), 1);
  QCOMPARE(finished[0][0].toInt(), 1);
  QVERIFY(shownWhileMoving);
  QVERIFY(maximum > content.size());
  QVERIFY(bar->isHidden());
  const QByteArray body =
      QByteArray::fromBase64(QByteArray::fromStdString(server_->Requests().back()["body"]));
  const QByteArray head =
      "Content-Disposition: form-data; name=\"dump.bin\"; filename=\"" + path.toUtf8() + "\"";
  const qsizetype at = body.indexOf(head);
  QVERIFY(at >= 0);
  QVERIFY(body.indexOf("\r\n\r\n" + content + "\r\n--", at) > at);
}

void InternetServicesTest::closingTheFormDuringTheUploadEndsIt() {
  nlohmann::json slow = Route(200, "Script Completed");
  slow["delay"] = 60;
  QVERIFY(StartServer({{"GET /", Route(200, "ok")}, {"POST /php-bin/app_feedback.php", slow}}));
  const auto window = StartedWindow();
  QVERIFY(window);
  FeedbackWindow* form = OpenForm(*window);
  QVERIFY(form);
  Fill(form, "Ann", "ann@lab.example", "", 1, "");
  QSignalSpy finished(form, &FeedbackWindow::sendFinished);
  // The user closes the form once the server holds the whole post and is slow to answer.
  QTimer closer;
  connect(&closer, &QTimer::timeout, form, [&] {
    const auto requests = server_->Requests();
    if (!requests.empty() && Text(requests.back()["method"]) == "POST") form->close();
  });
  closer.start(20);

  Child<QPushButton>(form, "btnSend")->click();

  QCOMPARE(finished.size(), 1);
  QCOMPARE(finished[0][0].toInt(), -1000);
  QVERIFY(!form->isVisible());
  QCOMPARE(answerer_->seen.size(), 0);  // the user closed it: no error box follows
}

bool IsInternetServicesTest(const char* function) {
  const QMetaObject& tests = InternetServicesTest::staticMetaObject;
  return tests.indexOfMethod(QByteArray(function).split(':').front() + "()") >= 0;
}

int RunInternetServicesTests(int argc, char** argv) {
  InternetServicesTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "internet_services_test.moc"
