// The FieldPal Firmware Updater window as its user meets it, on the offscreen platform: start-up
// (ports, remembered options, the service switches, the data erase warning), whole runs started
// with the Start button against the real vexa-sim, the close query during a run, the options
// written at close, Open Firmware File, the start-up error report (and the program's failure
// after it) and Replace Serial Number.
//
// Every test has a home, configuration, data and runtime folder of its own, and every message box
// the window puts up is answered (and recorded) by a BoxAnswerer. A failing test prints the error
// file and the boxes it saw.
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "gui/gui_front_end.h"
#include "tests/gui/window_test.h"
#include "tests/support/sim_instrument.h"

#ifdef VEXA_GUI_TESTS_UMOCKDEV
// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")
#endif

namespace {

constexpr int kBoxTimeoutMs = 10000;
constexpr int kRunTimeoutMs = 120000;

const QStringList kCleanStatuses = {
    "Connecting to FieldPal...",
    "Checking battery power...",
    "Saving settings for this FieldPal...",
    "Starting the firmware loader...",
    "Erasing firmware memory...",
    "Uploading new firmware code...",
    "Restarting the FieldPal, please wait...",
    "Checking new firmware...",
    "Restoring settings...",
    "Erasing old data...",
};

const QString kEraseWarning =
    "WARNING: The FieldPal Firmware Updater will erase all measurement data\n stored in your "
    "FieldPal.\n\n Please download any data you want to save before continuing.";

// A message box as the window showed it.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Answers every message box of the application: records it and presses the next answer of the
// queue (OK once the queue is empty, or when the box has no such button).
class BoxAnswerer : public BoxAnswering {
 public:
  int Count(const QString& title) const {
    int count = 0;
    for (const SeenBox& box : seen) count += box.title == title;
    return count;
  }
  const SeenBox* Find(const QString& title) const {
    for (const SeenBox& box : seen) {
      if (box.title == title) return &box;
    }
    return nullptr;
  }
  QStringList Titles() const {
    QStringList titles;
    for (const SeenBox& box : seen) titles << box.title;
    return titles;
  }

  QList<SeenBox> seen;
  QList<QMessageBox::StandardButton> answers;

 private:
  void Answer(QMessageBox* box) override {
    seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    const QMessageBox::StandardButton answer =
        answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    QAbstractButton* button = box->button(answer);
    if (!button) button = box->button(QMessageBox::Ok);
    if (button) button->click();
  }
};

// The window's controls, found the way its user sees them.
struct Controls {
  explicit Controls(MainWindow& window) {
    const QList<QLabel*> labels =
        window.centralWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < labels.size(); ++i) {
      const QString text = labels[i]->text();
      if (text.startsWith("This utility updates") && i + 3 < labels.size()) {
        userText1 = labels[i];
        userText2 = labels[i + 1];
        connectLabel = labels[i + 2];
        commLabel = labels[i + 3];
      } else if (text == "Status:" && i + 1 < labels.size()) {
        status = labels[i + 1];
      } else if (text == "New Serial Number") {
        serialLabel = labels[i];
      }
    }
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
      if (button->text() == "Start") start = button;
      if (button->text() == "Close") close = button;
    }
    ports = window.findChild<QComboBox*>();
    bar = window.findChild<QProgressBar*>();
    serial = window.findChild<QLineEdit*>();
  }
  bool Complete() const {
    return userText1 && userText2 && connectLabel && commLabel && status && serialLabel && start &&
           close && ports && bar && serial;
  }

  QLabel* userText1 = nullptr;
  QLabel* userText2 = nullptr;
  QLabel* connectLabel = nullptr;
  QLabel* commLabel = nullptr;
  QLabel* status = nullptr;
  QLabel* serialLabel = nullptr;
  QPushButton* start = nullptr;
  QPushButton* close = nullptr;
  QComboBox* ports = nullptr;
  QProgressBar* bar = nullptr;
  QLineEdit* serial = nullptr;
};

// What a run reported to the window, as it arrived on the window's thread (after the window
// itself had shown it).
struct RunRecord {
  RunRecord(MainWindow& window, const Controls& controls) {
    auto* frontEnd = dynamic_cast<GuiFrontEnd*>(window.Context().ui);
    if (!frontEnd) return;
    attached = true;
    QObject::connect(frontEnd, &GuiFrontEnd::statusChanged, &window,
                     [this, &window, controls](const QString& text) {
                       statuses << text;
                       labelFollowed = labelFollowed && controls.status->text() == text &&
                                       !controls.status->isHidden();
                       controlsLocked =
                           controlsLocked && window.Busy() && !controls.start->isEnabled() &&
                           !controls.close->isEnabled() && !controls.ports->isEnabled();
                     });
    QObject::connect(frontEnd, &GuiFrontEnd::progressChanged, &window,
                     [this](int percent) { progress << percent; });
    QObject::connect(frontEnd, &GuiFrontEnd::connectLabelChanged, &window,
                     [this](const QString& text) { connectLabels << text; });
  }

  bool attached = false;
  QStringList statuses;
  QList<int> progress;
  QStringList connectLabels;
  bool labelFollowed = true;   // the status label showed every status
  bool controlsLocked = true;  // Start, Close and the port box were off for every status
};

// A text value of the simulator's files, empty when it is missing or not a text.
QString JsonText(const nlohmann::json& value) {
  return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
  file.write(text);
}

}  // namespace

class MainWindowTest : public WindowTest {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void aWindowWithoutPortsOffersNoneAndCannotStart();
  void aRememberedPortIsSelectedWhenItIsStillListed_data();
  void aRememberedPortIsSelectedWhenItIsStillListed();
  void theServiceSwitchesShowTheirMenuItemsWhenSpelledExactly_data();
  void theServiceSwitchesShowTheirMenuItemsWhenSpelledExactly();
  void theDataEraseWarningComesOnlyForAnOrdinaryUser_data();
  void theDataEraseWarningComesOnlyForAnOrdinaryUser();
  void aDataFolderThatCannotBeMadeIsToldWithTheFolderUsedInstead();
  void storedOptionsAreReadAtStartButVerboseLogIsAlwaysOn();
  void aCleanUpdateByStartEndsWithTheNewFirmwareAndTheControlsBack();
  void aLowBatteryEndsTheRunWithOneBoxAndTheWindowAsBefore();
  void closingDuringARunIsRefusedAndClosingAfterItWorks();
  void closingWritesTheOptions();
  void aFileThatIsNotTiTextIsRefusedAndTheImageStays();
  void aValidFirmwareFileForAnotherFamilyChangesTheTexts();
  void aConstructorErrorIsReportedAndClosesTheWindow_data();
  void aConstructorErrorIsReportedAndClosesTheWindow();
  void aStartUpThatFailsEndsTheProgramWithAFailureAndItsReason();
  void replaceSerialNumberShowsTheFieldAndARunSwitchesItOff();
  void theSensorTypeItemsShowOnlyInTheSensorUpdaterWithFactoryMode_data();
  void theSensorTypeItemsShowOnlyInTheSensorUpdaterWithFactoryMode();
  void aSensorTypeIsCheckedAloneAndSetsItsDocumentAndName();
  void theSensorUpdaterUpdatesTheSensorBehindTheReaderByStart();

 private:
  static QStringList Arguments(const QStringList& more = {}) {
    return QStringList{"fieldpal-updater"} + more;
  }
  // Waits until the start-up erase warning of a window without switches has come and gone.
  bool EraseWarningAnswered() {
    return QTest::qWaitFor([this] { return answerer_->Count("Data Erase Warning") == 1; },
                           kBoxTimeoutMs);
  }

  std::unique_ptr<BoxAnswerer> answerer_;
};

void MainWindowTest::init() {
  QVERIFY(MakeScratchHome());
  RefuseVersionCheck();
  answerer_ = std::make_unique<BoxAnswerer>();
}

void MainWindowTest::cleanup() {
  if (QTest::currentTestFailed()) {
    PrintErrorFile();
    for (const SeenBox& box : answerer_->seen) {
      std::printf("box \"%s\": %s\n", qPrintable(box.title), qPrintable(box.text));
    }
  }
  answerer_.reset();
  RemoveScratchHome();
}

void MainWindowTest::aWindowWithoutPortsOffersNoneAndCannotStart() {
#ifdef VEXA_GUI_TESTS_UMOCKDEV
  // Under umockdev-wrapper an empty testbed stands in for the system's devices: no ports at all.
  UMockdevTestbed* bed = nullptr;
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload && std::strstr(preload, "libumockdev-preload")) bed = umockdev_testbed_new();
  const std::unique_ptr<UMockdevTestbed, void (*)(gpointer)> noDevices(bed, g_object_unref);
#endif
  MainWindow window(Arguments());
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());

  if (controls.ports->count() != 1 || controls.ports->itemText(0) != "No Comm Ports Found") {
    QSKIP("this machine lists serial ports of its own");
  }
  QVERIFY(!controls.start->isEnabled());
  QCOMPARE(window.Context().portName, std::string());
  QVERIFY(controls.close->isEnabled());
}

void MainWindowTest::aRememberedPortIsSelectedWhenItIsStillListed_data() {
  QTest::addColumn<QString>("remembered");
  QTest::addColumn<int>("selected");
  QTest::newRow("the second entry's path selects it") << "ttyB" << 1;
  QTest::newRow("the first entry's path selects it") << "ttyA" << 0;
  QTest::newRow("a port no longer present selects the first entry") << "ttyGone" << 0;
  QTest::newRow("another letter case is another port") << "TTYB" << 0;
  QTest::newRow("no remembered port selects the first entry") << QString() << 0;
}

void MainWindowTest::aRememberedPortIsSelectedWhenItIsStillListed() {
  QFETCH(QString, remembered);
  QFETCH(int, selected);
  const QString first = Scratch("ttyA");
  const QString second = Scratch("ttyB");
  if (!remembered.isNull()) {
    QSettings options(kOrganisation, kApplication);
    options.setValue("CommPort", Scratch(remembered));
  }

  MainWindow window(Arguments({"--port", first, "--port", second}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());

  QVERIFY(controls.ports->count() >= 2);
  QCOMPARE(controls.ports->itemText(0), first + " Communications Port");
  QCOMPARE(controls.ports->itemText(1), second + " Communications Port");
  QCOMPARE(controls.ports->currentIndex(), selected);
  QCOMPARE(QString::fromStdString(window.Context().portName), selected ? second : first);
  QVERIFY(controls.start->isEnabled());

  // The list is filled again when it opens, and shows the same entry.
  controls.ports->showPopup();
  QCOMPARE(controls.ports->currentIndex(), selected);
  controls.ports->hidePopup();
  QCOMPARE(QString::fromStdString(window.Context().portName), selected ? second : first);
  QCOMPARE(answerer_->Count("Data Erase Warning"), answerer_->seen.size());  // nothing else
}

void MainWindowTest::theServiceSwitchesShowTheirMenuItemsWhenSpelledExactly_data() {
  QTest::addColumn<QStringList>("switches");
  QTest::addColumn<bool>("openEnabled");
  QTest::addColumn<bool>("factoryItemsShown");
  QTest::newRow("no switch") << QStringList{} << false << false;
  QTest::newRow("-rep enables Open only") << QStringList{"-rep"} << true << false;
  QTest::newRow("-factory enables Open and shows the factory items")
      << QStringList{"-factory"} << true << true;
  QTest::newRow("both switches") << QStringList{"-rep", "-factory"} << true << true;
  QTest::newRow("-Factory does nothing") << QStringList{"-Factory"} << false << false;
  QTest::newRow("-REP does nothing") << QStringList{"-REP"} << false << false;
  QTest::newRow("--factory does nothing") << QStringList{"--factory"} << false << false;
  QTest::newRow("/factory does nothing") << QStringList{"/factory"} << false << false;
  QTest::newRow("factory without its dash does nothing")
      << QStringList{"factory"} << false << false;
  QTest::newRow("-rep as the program name does nothing") << QStringList{} << false << false;
}

void MainWindowTest::theServiceSwitchesShowTheirMenuItemsWhenSpelledExactly() {
  QFETCH(QStringList, switches);
  QFETCH(bool, openEnabled);
  QFETCH(bool, factoryItemsShown);
  const bool programNamedLikeASwitch =
      QString(QTest::currentDataTag()).startsWith("-rep as the program name");
  MainWindow window(programNamedLikeASwitch ? QStringList{"-rep"} : Arguments(switches));
  window.show();

  QAction* open = MenuItem(window, "&Open Firmware File...");
  QAction* replace = MenuItem(window, "&Replace Serial Number");
  QAction* dontErase = MenuItem(window, "&Don't Erase Data");
  QAction* heading = MenuItem(window, "Set Digital Sensor to:");
  QVERIFY(open && replace && dontErase && heading);
  QCOMPARE(open->isEnabled(), openEnabled);
  QCOMPARE(replace->isVisible(), factoryItemsShown);
  QCOMPARE(dontErase->isVisible(), factoryItemsShown);
  QVERIFY(!heading->isVisible());  // this build has no digital-sensor configuration

  // The texts every start sets, whatever the switches.
  QCOMPARE(window.windowTitle(), QString("FieldPal Firmware Updater"));
  QVERIFY(MenuItem(window, "About FieldPal Firmware Updater"));
  QVERIFY(!MenuItem(window, "&About..."));
  QAction* verbose = MenuItem(window, "&Verbose Error File");
  QVERIFY(verbose && verbose->isChecked() && !verbose->isEnabled());
}

void MainWindowTest::theDataEraseWarningComesOnlyForAnOrdinaryUser_data() {
  QTest::addColumn<QStringList>("switches");
  QTest::addColumn<bool>("warned");
  QTest::newRow("without switches") << QStringList{} << true;
  QTest::newRow("with -factory") << QStringList{"-factory"} << false;
  QTest::newRow("with -rep") << QStringList{"-rep"} << false;
  QTest::newRow("with -Factory, which is no switch") << QStringList{"-Factory"} << true;
}

void MainWindowTest::theDataEraseWarningComesOnlyForAnOrdinaryUser() {
  QFETCH(QStringList, switches);
  QFETCH(bool, warned);
  MainWindow window(Arguments(switches));
  window.show();
  // Started after the window's own start-up timers, this one fires after all of them.
  bool startUpOver = false;
  QTimer::singleShot(1500, &window, [&startUpOver] { startUpOver = true; });
  QTRY_VERIFY_WITH_TIMEOUT(startUpOver, kBoxTimeoutMs);

  if (!warned) {
    QCOMPARE(answerer_->seen.size(), 0);
    return;
  }
  QTRY_COMPARE_WITH_TIMEOUT(answerer_->seen.size(), 1, kBoxTimeoutMs);
  const SeenBox& box = answerer_->seen.front();
  QCOMPARE(box.title, QString("Data Erase Warning"));
  QCOMPARE(box.text, kEraseWarning);
  QCOMPARE(box.icon, QMessageBox::Warning);
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QTRY_VERIFY_WITH_TIMEOUT(ReadText(ErrorFile()).contains(kEraseWarning), kBoxTimeoutMs);
}

void MainWindowTest::aDataFolderThatCannotBeMadeIsToldWithTheFolderUsedInstead() {
  // A file where the data folder's parent should be: the folder cannot be made there.
  QFile blocker(Scratch("blocked"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  qputenv("XDG_DATA_HOME", Scratch("blocked").toLocal8Bit());
  const QString fallback = Scratch("runtime") + "/vexabsl";

  MainWindow window(Arguments());
  window.show();
  QTRY_VERIFY_WITH_TIMEOUT(answerer_->Find("Data Folder"), kBoxTimeoutMs);
  const SeenBox& box = *answerer_->Find("Data Folder");
  QVERIFY2(box.text.contains("could not use its data folder"), qPrintable(box.text));
  QVERIFY2(box.text.contains("\n" + fallback + "\n"), qPrintable(box.text));
  QCOMPARE(box.icon, QMessageBox::Warning);
  QVERIFY(EraseWarningAnswered());  // the usual start-up box still comes
  const QString errors = ReadText(fallback + "/FieldPal Firmware Updater.errors.txt");
  QVERIFY2(errors.contains("Data folder: cannot make the folder"), qPrintable(errors));
}

void MainWindowTest::storedOptionsAreReadAtStartButVerboseLogIsAlwaysOn() {
  {
    QSettings options(kOrganisation, kApplication);
    options.setValue("FindAllComms", true);
    options.setValue("VerboseLog", false);
  }
  MainWindow window(Arguments({"-factory"}));
  window.show();

  QAction* findAll = MenuItem(window, "Force Find All &Comm Ports");
  QAction* verbose = MenuItem(window, "&Verbose Error File");
  QVERIFY(findAll && verbose);
  QVERIFY(findAll->isChecked());
  QVERIFY(verbose->isChecked());
}

void MainWindowTest::aCleanUpdateByStartEndsWithTheNewFirmwareAndTheControlsBack() {
  SimInstrument sim;
  QVERIFY2(sim.Start(), sim.Error().c_str());
  MainWindow window(Arguments({"--port", QString::fromStdString(sim.LinkPath())}));
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Controls controls(window);
  QVERIFY(controls.Complete());
  QVERIFY(controls.status->isHidden());
  QVERIFY(EraseWarningAnswered());
  RunRecord run(window, controls);
  QVERIFY(run.attached);
  QSignalSpy finished(&window, &MainWindow::runFinished);

  QTest::mouseClick(controls.start, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kRunTimeoutMs);

  QCOMPARE(finished.front().front().toInt(), 1);
  const QString success =
      QString("Successfully updated firmware in %1 seconds.").arg(window.Context().seconds);
  QCOMPARE(run.statuses, kCleanStatuses + QStringList{success});
  QVERIFY(run.labelFollowed);
  QVERIFY(run.controlsLocked);
  QCOMPARE(controls.status->text(), success);
  QVERIFY(!controls.status->isHidden());

  QVERIFY(!run.progress.isEmpty());
  QCOMPARE(run.progress.back(), 100);
  for (int percent : run.progress)
    QVERIFY2(percent >= 0 && percent <= 100, qPrintable(QString::number(percent)));
  QCOMPARE(controls.bar->value(), 100);

  QVERIFY(!run.connectLabels.isEmpty());
  QCOMPARE(run.connectLabels.front(), QString("Do NOT disconnect FieldPal until finished."));
  QCOMPARE(controls.connectLabel->text(), QString("You may disconnect your FieldPal now."));

  QVERIFY(!window.Busy());
  QVERIFY(controls.start->isEnabled());
  QVERIFY(controls.close->isEnabled());
  QVERIFY(controls.ports->isEnabled());
  QAction* update = MenuItem(window, "&Update Firmware");
  QVERIFY(update && update->isEnabled());
  QVERIFY(!QApplication::overrideCursor());                          // the wait cursor is gone
  QCOMPARE(answerer_->Titles(), QStringList{"Data Erase Warning"});  // the run put up no box

  QCOMPARE(sim.Stop(), 0);
  QCOMPARE(JsonText(sim.Stats()["instrument"]["firmware_version"]), QString("2.00"));
}

void MainWindowTest::aLowBatteryEndsTheRunWithOneBoxAndTheWindowAsBefore() {
  SimInstrument sim;
  QVERIFY2(sim.Start({"--fault", "low-battery"}), sim.Error().c_str());
  MainWindow window(Arguments({"--port", QString::fromStdString(sim.LinkPath())}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());
  QVERIFY(EraseWarningAnswered());
  RunRecord run(window, controls);
  QSignalSpy finished(&window, &MainWindow::runFinished);

  controls.start->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kRunTimeoutMs);

  QCOMPARE(finished.front().front().toInt(), -130);
  QCOMPARE(answerer_->Titles(), (QStringList{"Data Erase Warning", "Batteries Too Low"}));
  const SeenBox* box = answerer_->Find("Batteries Too Low");
  QCOMPARE(box->text, QString("The battery power is too low!\n\n"
                              "Please replace the batteries before running this updater."));
  QCOMPARE(box->icon, QMessageBox::Critical);
  QCOMPARE(run.statuses, (QStringList{"Connecting to FieldPal...", "Checking battery power..."}));

  QVERIFY(controls.status->isHidden());
  QCOMPARE(controls.bar->value(), 0);
  QCOMPARE(controls.connectLabel->text(), QString("Connect FieldPal to computer comm port."));
  QVERIFY(!window.Busy());
  QVERIFY(controls.start->isEnabled());
  QVERIFY(controls.close->isEnabled());
  QVERIFY(controls.ports->isEnabled());

  QCOMPARE(sim.Stop(), 0);
  QCOMPARE(JsonText(sim.Stats()["instrument"]["firmware_version"]), QString("1.50"));
}

void MainWindowTest::closingDuringARunIsRefusedAndClosingAfterItWorks() {
  SimInstrument sim;
  QVERIFY2(sim.Start(), sim.Error().c_str());
  MainWindow window(Arguments({"--port", QString::fromStdString(sim.LinkPath())}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());
  QVERIFY(EraseWarningAnswered());
  QSignalSpy finished(&window, &MainWindow::runFinished);

  controls.start->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.Busy(), kBoxTimeoutMs);
  QVERIFY(!window.close());
  QCOMPARE(answerer_->Count("Don't Quit Now!"), 1);
  const SeenBox* box = answerer_->Find("Don't Quit Now!");
  QCOMPARE(box->text, QString("The FieldPal Firmware Updater is updating your FieldPal!\n"
                              "This process should NOT be interrupted.\n\n"
                              "Your FieldPal may be unusable or have missing settings\n"
                              "until you complete the firmware update process.\n\n"
                              "Click OK to continue updating yourFieldPal.\n"));
  QCOMPARE(box->icon, QMessageBox::Warning);
  QCOMPARE(box->buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(window.isVisible());

  // Exit in the File menu takes the same way.
  if (window.Busy()) {
    QAction* exit = MenuItem(window, "&Exit");
    QVERIFY(exit);
    exit->trigger();
    QCOMPARE(answerer_->Count("Don't Quit Now!"), 2);
    QVERIFY(window.isVisible());
  }

  QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kRunTimeoutMs);
  QCOMPARE(finished.front().front().toInt(), 1);
  QVERIFY(window.close());
  QVERIFY(!window.isVisible());
  QVERIFY(QFile::exists(ConfigFile()));

  QCOMPARE(sim.Stop(), 0);
  QCOMPARE(JsonText(sim.Stats()["instrument"]["firmware_version"]), QString("2.00"));
}

void MainWindowTest::closingWritesTheOptions() {
  {
    QSettings options(kOrganisation, kApplication);
    options.setValue("VerboseLog", false);
  }
  const QString first = Scratch("ttyA");
  const QString second = Scratch("ttyB");
  MainWindow window(Arguments({"-factory", "--port", first, "--port", second}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());

  QAction* findAll = MenuItem(window, "Force Find All &Comm Ports");
  QVERIFY(findAll && !findAll->isChecked());
  findAll->trigger();
  QVERIFY(findAll->isChecked());
  // The user picks the second port from the list.
  QCOMPARE(controls.ports->currentIndex(), 0);
  QTest::keyClick(controls.ports, Qt::Key_Down);
  QCOMPARE(controls.ports->currentIndex(), 1);
  QCOMPARE(QString::fromStdString(window.Context().portName), second);

  controls.close->click();
  QVERIFY(!window.isVisible());

  QVERIFY2(QFile::exists(ConfigFile()), qPrintable(ConfigFile()));
  QSettings written(ConfigFile(), QSettings::IniFormat);
  QCOMPARE(written.value("FindAllComms").toBool(), true);
  QCOMPARE(written.value("VerboseLog").toBool(), true);
  QCOMPARE(written.value("CommPort").toString(), second);
}

void MainWindowTest::aFileThatIsNotTiTextIsRefusedAndTheImageStays() {
  const QString path = Scratch("notes.txt");
  WriteText(path, "These are my field notes, not firmware.\n");
  MainWindow window(Arguments({"-rep"}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());
  const QString imageText = controls.userText2->text();
  const QString intro = controls.userText1->text();
  const bool startEnabled = controls.start->isEnabled();

  QVERIFY(window.OpenFirmware(path) < 0);

  QCOMPARE(answerer_->Titles(), QStringList{"File Error"});
  const SeenBox& box = answerer_->seen.front();
  QCOMPARE(box.text, QString("The file \"notes.txt\" is not a valid firmware file.\n"
                             "Please choose a new firmware file to open."));
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(controls.userText2->text(), imageText);
  QCOMPARE(controls.userText1->text(), intro);
  QCOMPARE(controls.start->isEnabled(), startEnabled);
  QCOMPARE(window.Context().imageVersion, 200u);
  QCOMPARE(window.Context().deviceName, std::string("FieldPal"));
}

void MainWindowTest::aValidFirmwareFileForAnotherFamilyChangesTheTexts() {
  const QString path = Scratch("QD40 2-05.txt");
  WriteText(path,
            "@2400\n01 02 03 04\n@FFE0\n"
            "00 24 00 24 00 24 00 24 00 24 00 24 00 24 00 24\n"
            "00 24 00 24 00 24 00 24 00 24 00 24 00 24 00 24\n"
            "q\n");
  MainWindow window(Arguments({"-rep"}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());

  QVERIFY(window.OpenFirmware(path) >= 0);

  QCOMPARE(answerer_->seen.size(), 0);
  QCOMPARE(controls.userText1->text(), QString("This utility updates Qd40 firmware to"));
  QCOMPARE(controls.userText2->text(), QString("QD40 2.05"));
  QCOMPARE(controls.commLabel->text(), QString("Connect to Qd40 with Comm Port"));
  QCOMPARE(controls.connectLabel->text(), QString("Connect Qd40 to computer comm port."));
  QCOMPARE(window.Context().imageVersion, 205u);
  QCOMPARE(window.Context().deviceName, std::string("Qd40"));
  QVERIFY(controls.start->isEnabled());
  QAction* update = MenuItem(window, "&Update Firmware");
  QVERIFY(update && update->isEnabled());
}

void MainWindowTest::aConstructorErrorIsReportedAndClosesTheWindow_data() {
  QTest::addColumn<int>("code");
  QTest::addColumn<QString>("text");
  QTest::newRow("a damaged built-in image")
      << -101
      << "The internal firware file for this FieldPal Firmware Updater is corrupt.\n\n"
         "Please restart this application and try again.";
  QTest::newRow("memory exhausted")
      << -60
      << "The FieldPal Firmware Updater ran out of memory while allocating internal buffers.\n\n"
         "Please restart this application and try again.";
  QTest::newRow("any other failure")
      << -7
      << "The FieldPal Firmware Updater got an unexpected error starting up.\n[Error: -7]\n\n"
         "Please restart this application and try again.";
}

void MainWindowTest::aConstructorErrorIsReportedAndClosesTheWindow() {
  QFETCH(int, code);
  QFETCH(QString, text);
  MainWindow window(Arguments({"-factory"}));
  window.show();
  QVERIFY(window.isVisible());

  window.ReportConstructorError(code);

  QCOMPARE(answerer_->Titles(), QStringList{"Application Launch Error"});
  QCOMPARE(answerer_->seen.front().text, text);
  QCOMPARE(answerer_->seen.front().icon, QMessageBox::Critical);
  QVERIFY(!window.isVisible());
  QVERIFY(QFile::exists(ConfigFile()));  // this way out writes the options too
  QTRY_VERIFY_WITH_TIMEOUT(
      ReadText(ErrorFile())
          .contains(QString("HostBSL class got an constructor error (%1)").arg(code)),
      kBoxTimeoutMs);
}

void MainWindowTest::aStartUpThatFailsEndsTheProgramWithAFailureAndItsReason() {
  // The program, not the window: an updater whose built-in image fails its check value, in this
  // test's folders (the child inherits the environment).
  QProcess program;
  program.start(VEXA_DAMAGED_IMAGE_UPDATER, {"-factory"});
  QVERIFY(program.waitForFinished(kBoxTimeoutMs));  // else the QProcess ends it

  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 1);
  const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
  QVERIFY2(errors.contains("box \"Application Launch Error\""), qPrintable(errors));
  QVERIFY2(errors.contains("fieldpal-updater: The internal firware file for this FieldPal "
                           "Firmware Updater is corrupt."),
           qPrintable(errors));
  QVERIFY(QFile::exists(ConfigFile()));  // the window closed the ordinary way
}

void MainWindowTest::replaceSerialNumberShowsTheFieldAndARunSwitchesItOff() {
  SimInstrument sim;
  QVERIFY2(sim.Start({"--state", sim.PathFor("state.json")}), sim.Error().c_str());
  MainWindow window(Arguments({"-factory", "--port", QString::fromStdString(sim.LinkPath())}));
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());
  QVERIFY(controls.serialLabel->isHidden());
  QVERIFY(controls.serial->isHidden());

  QAction* replace = MenuItem(window, "&Replace Serial Number");
  QVERIFY(replace);
  replace->trigger();
  QVERIFY(replace->isChecked());
  QVERIFY(!controls.serialLabel->isHidden());
  QVERIFY(!controls.serial->isHidden());
  QCOMPARE(controls.serial->maxLength(), 15);
  QTest::keyClicks(controls.serial, "FP14-0000000000000000");
  QCOMPARE(controls.serial->text(), QString("FP14-0000000000"));

  controls.serial->clear();
  QTest::keyClicks(controls.serial, "FP14-7700001");
  QSignalSpy finished(&window, &MainWindow::runFinished);
  controls.start->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kRunTimeoutMs);

  QCOMPARE(finished.front().front().toInt(), 1);
  QVERIFY(!replace->isChecked());
  QVERIFY(controls.serialLabel->isHidden());
  QVERIFY(controls.serial->isHidden());
  QCOMPARE(controls.serial->text(), QString());
  QCOMPARE(answerer_->seen.size(), 0);

  QCOMPARE(sim.Stop(), 0);
  std::ifstream state(sim.PathFor("state.json"));
  const nlohmann::json saved = nlohmann::json::parse(state, nullptr, false);
  QVERIFY(!saved.is_discarded());
  QCOMPARE(JsonText(saved["settings"]["serial"]), QString("FP14-7700001"));
}

// ---- The digital-sensor updater ----

namespace {

// Every sensor-type item's caption, in the menu's order.
const QStringList kSensorTypeCaptions = {
    "7QA",        "7QB",   "HR4",      "JN4",      "WTP-3 && WTP-7", "Z4DG",
    "KVL Family", "PX-2",  "PX-2F",    "BH-3",     "BH-4",           "LRN Family",
    "WN-2",       "GAU-1", "AERIX 22", "AERIX 41", "TORVA 1x Family"};
const QStringList kHiddenSensorTypes = {"BH-4", "WN-2", "AERIX 22"};

// The checked sensor-type items' captions.
QStringList CheckedSensorTypes(MainWindow& window) {
  QStringList checked;
  for (const QString& caption : kSensorTypeCaptions) {
    QAction* item = MenuItem(window, caption);
    if (item && item->isChecked()) checked << caption;
  }
  return checked;
}

}  // namespace

void MainWindowTest::theSensorTypeItemsShowOnlyInTheSensorUpdaterWithFactoryMode_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<QStringList>("switches");
  QTest::addColumn<bool>("shown");
  QTest::newRow("sensor updater, -factory") << true << QStringList{"-factory"} << true;
  QTest::newRow("sensor updater, -rep") << true << QStringList{"-rep"} << false;
  QTest::newRow("sensor updater, no switch") << true << QStringList{} << false;
  QTest::newRow("FieldPal updater, -factory") << false << QStringList{"-factory"} << false;
}

void MainWindowTest::theSensorTypeItemsShowOnlyInTheSensorUpdaterWithFactoryMode() {
  QFETCH(bool, sensorUpdater);
  QFETCH(QStringList, switches);
  QFETCH(bool, shown);
  MainWindow window(Arguments(switches), nullptr,
                    sensorUpdater ? kSensorProduct : kFieldPalProduct);
  window.show();
  if (sensorUpdater) {
    QCOMPARE(window.windowTitle(), QString("AERIX 14 Sensor Firmware Updater"));
    QCOMPARE(window.VersionFinderPath(), std::string("/versionfinder/AERIX14-Firmware.txt"));
    QCOMPARE(window.Context().sensorType, 123u);
    QVERIFY(window.Context().digitalSensor);
    QCOMPARE(QString(window.Context().loader->image.name), QString("AERIX14 4.00"));
  }
  QAction* heading = MenuItem(window, "Set Digital Sensor to:");
  QVERIFY(heading);
  QCOMPARE(heading->isVisible(), shown);
  QVERIFY(!heading->isEnabled());
  for (const QString& caption : kSensorTypeCaptions) {
    QAction* item = MenuItem(window, caption);
    QVERIFY2(item, qPrintable(caption));
    QCOMPARE(item->isVisible(), shown && !kHiddenSensorTypes.contains(caption));
  }
  QVERIFY(CheckedSensorTypes(window).isEmpty());  // the AERIX 14 has no item
  // The FieldPal updater stays as it was.
  if (!sensorUpdater) QCOMPARE(window.windowTitle(), QString("FieldPal Firmware Updater"));
}

void MainWindowTest::aSensorTypeIsCheckedAloneAndSetsItsDocumentAndName() {
  MainWindow window(Arguments({"-factory"}), nullptr, kSensorProduct);
  window.show();
  struct Choice {
    const char* caption;  // the item triggered, or null for a reported number
    uint32_t number;
    QStringList checked;
    const char* document;
    const char* device;
  };
  const Choice choices[] = {
      {"PX-2F", 109, {"PX-2F"}, "/versionfinder/PX2-Firmware.txt", "PX-2F Sensor"},
      {"PX-2", 113, {"PX-2"}, "/versionfinder/PX2-Firmware.txt", "PX-2 Sensor"},
      {"WTP-3 && WTP-7",
       261,
       {"WTP-3 && WTP-7"},
       "/versionfinder/WTP3-Firmware.txt",
       "WTP-3 WTP-7 TORVA 21"},
      {nullptr, 116, {"KVL Family"}, "/versionfinder/KVL-Firmware.txt", "KVL Sensor"},
      {nullptr, 104, {"TORVA 1x Family"}, "/versionfinder/TORVA1X-Firmware.txt", "TORVA 11 Sensor"},
      {nullptr, 121, {"WTP-3 && WTP-7"}, "/versionfinder/WTP3-Firmware.txt", "WTP-3 Sensor"},
      {nullptr, 123, {}, "/versionfinder/AERIX14-Firmware.txt", "AERIX 14 Sensor"},
      // Another number checks nothing and leaves the document.
      {nullptr, 125, {}, "/versionfinder/AERIX14-Firmware.txt", "HV-TM Sensor"},
  };
  for (const Choice& choice : choices) {
    const QString what = choice.caption ? choice.caption : QString::number(choice.number);
    if (choice.caption) {
      QAction* item = MenuItem(window, choice.caption);
      QVERIFY2(item, qPrintable(what));
      item->trigger();
    } else {
      window.ChooseSensorType(choice.number);
    }
    QVERIFY2(CheckedSensorTypes(window) == choice.checked,
             qPrintable(what + ": " + CheckedSensorTypes(window).join(", ")));
    QCOMPARE(window.VersionFinderPath(), std::string(choice.document));
    QCOMPARE(window.Context().deviceName, std::string(choice.device));
    QCOMPARE(window.Context().sensorType, choice.number);
    bool userText1 = false;
    for (QLabel* label : window.findChildren<QLabel*>()) {
      userText1 = userText1 || label->text() == QString("This utility updates ") + choice.device +
                                                    " firmware to";
    }
    QVERIFY2(userText1, qPrintable(what));
  }
}

void MainWindowTest::theSensorUpdaterUpdatesTheSensorBehindTheReaderByStart() {
  SimInstrument sim;
  QVERIFY2(sim.Start({"--sensor", "123", "--sensor-address", "2", "--sensor-sn", "AX-5",
                      "--sensor-x4", "3.5 0.25"}),
           sim.Error().c_str());
  MainWindow window(Arguments({"--port", QString::fromStdString(sim.LinkPath())}), nullptr,
                    kSensorProduct);
  window.show();
  Controls controls(window);
  QVERIFY(controls.Complete());
  QCOMPARE(controls.userText1->text(), QString("This utility updates AERIX 14 Sensor firmware to"));
  QCOMPARE(controls.userText2->text(), QString("AERIX14 4.00"));
  QCOMPARE(controls.commLabel->text(), QString("Connect to FieldPal with Comm Port"));
  QCOMPARE(controls.connectLabel->text(),
           QString("Connect FieldPal and Digital Sensor to computer comm port."));
  RunRecord run(window, controls);
  QSignalSpy finished(&window, &MainWindow::runFinished);

  controls.start->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kRunTimeoutMs);
  QCOMPARE(finished.front().front().toInt(), 1);
  QVERIFY2(answerer_->Titles().isEmpty(),
           qPrintable(answerer_->Titles().join(", ")));  // no erase warning
  QVERIFY(run.statuses.contains("Saving settings for this digital sensor..."));
  QCOMPARE(controls.connectLabel->text(), QString("You may disconnect your AERIX 14 Sensor now."));
  QCOMPARE(sim.Stop(), 0);
  const nlohmann::json sensor = sim.Stats()["instrument"]["sensor"];
  QCOMPARE(JsonText(sensor["version"]), QString("400"));
  QCOMPARE(JsonText(sensor["address"]), QString("2"));
  QCOMPARE(JsonText(sensor["serial"]), QString("AX-5"));
  QCOMPARE(JsonText(sensor["x4"]), QString("3.5 0.25"));
}

// The internet services' tests and the windows' frame and layout tests, classes of their own in
// the same program.
int RunInternetServicesTests(int argc, char** argv);
bool IsInternetServicesTest(const char* function);
int RunWindowFrameTests(int argc, char** argv);
bool IsWindowFrameTest(const char* function);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(kApplication);  // as the program does
  if (argc > 1 && IsInternetServicesTest(argv[1])) return RunInternetServicesTests(argc, argv);
  if (argc > 1 && IsWindowFrameTest(argv[1])) return RunWindowFrameTests(argc, argv);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
