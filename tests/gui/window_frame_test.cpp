// The updater's windows as a person meets them, on the offscreen platform: the frame offers only
// the close button, the main window opens in the middle of the screen and the feedback form and
// the message boxes in the middle of the main window, every control on show has a name a screen
// reader can say, and long texts (a run of many seconds, a long sensor name, the data erase
// warning's long first line) stay whole inside their window.
//
// Every test has its own home, configuration and data folders; every message box is answered
// (and recorded with where it stood) by a timer.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <memory>

#include "gui/feedback_window.h"
#include "gui/gui_front_end.h"
#include "gui/main_window.h"
#include "tests/gui/window_test.h"

namespace {

constexpr int kBoxTimeoutMs = 10000;

// A message box as it stood on the screen.
struct PlacedBox {
  QString title;
  QRect frame;      // the box's frame
  QRect owner;      // the frame of the window it belongs to
  QRect room;       // the free area of that window's screen
  bool linesWhole;  // every line of its text fits the text's width unbroken
};

// Answers every message box with its first button and records where it stood.
class PlacingAnswerer : public BoxAnswering {
 public:
  const PlacedBox* Find(const QString& title) const {
    for (const PlacedBox& box : seen) {
      if (box.title == title) return &box;
    }
    return nullptr;
  }

  QList<PlacedBox> seen;

 private:
  void Answer(QMessageBox* box) override {
    PlacedBox placed{box->windowTitle(), box->frameGeometry(), {}, {}, false};
    if (QWidget* owner = box->parentWidget()) {
      placed.owner = owner->window()->frameGeometry();
      placed.room = owner->window()->screen()->availableGeometry();
    }
    if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
      const QFontMetrics metrics(label->font());
      placed.linesWhole = true;
      for (const QString& line : box->text().split('\n')) {
        placed.linesWhole =
            placed.linesWhole && metrics.horizontalAdvance(line) <= label->contentsRect().width();
      }
    }
    seen.append(placed);
    if (!box->buttons().isEmpty()) box->buttons().front()->click();
  }
};

// The middles of two rectangles are the same, give or take the pixel of an odd size.
bool SameMiddle(const QRect& a, const QRect& b) {
  return (a.center() - b.center()).manhattanLength() <= 2;
}

QString Describe(const QRect& r) {
  return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// What a screen reader says a control is: the shown label tied to it, else its own accessible
// name, else (for a button) its caption. A drop-down list and a progress bar would otherwise be
// announced by what they show ("ttyUSB0 Communications Port", "40%"), which says nothing of what
// they are for.
QString SpokenName(QWidget* control) {
  QAccessibleInterface* item = QAccessible::queryAccessibleInterface(control);
  if (!item) return {};
  for (const auto& [label, relation] : item->relations(QAccessible::Label)) {
    if (label->state().invisible) continue;
    const QString text = label->text(QAccessible::Name);
    if (!text.isEmpty()) return text;
  }
  if (qobject_cast<QComboBox*>(control) || qobject_cast<QProgressBar*>(control)) {
    return control->accessibleName();
  }
  return item->text(QAccessible::Name);
}

// The controls a user can reach or read in the window, as it is shown now.
QList<QWidget*> ShownControls(QWidget* window) {
  QList<QWidget*> controls;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisible() || widget->window() != window) continue;
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
        qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
        qobject_cast<QProgressBar*>(widget)) {
      controls << widget;
    }
  }
  return controls;
}

QString What(QWidget* control) {
  return QString("%1 \"%2\"").arg(control->metaObject()->className(), control->objectName());
}

}  // namespace

class WindowFrameTest : public WindowTest {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void eachWindowHasAFixedFrameWithOnlyTheCloseButton_data();
  void eachWindowHasAFixedFrameWithOnlyTheCloseButton();
  void theWindowOpensMidScreenAndItsFormAndBoxesMidWindow_data();
  void theWindowOpensMidScreenAndItsFormAndBoxesMidWindow();
  void everyShownControlHasANameAScreenReaderCanSay_data();
  void everyShownControlHasANameAScreenReaderCanSay();
  void longTextsWrapInsideTheWindowAndNothingIsCut_data();
  void longTextsWrapInsideTheWindowAndNothingIsCut();
  void theDataEraseWarningKeepsEachOfItsLinesWhole();

 private:
  // The main window of an updater, shown.
  std::unique_ptr<MainWindow> Shown(bool sensorUpdater, const QStringList& switches) {
    auto window = std::make_unique<MainWindow>(QStringList{"fieldpal-updater"} + switches, nullptr,
                                               sensorUpdater ? kSensorProduct : kFieldPalProduct);
    window->show();
    return window;
  }
  // Its feedback form, shown directly (the connection test belongs to the internet services).
  static FeedbackWindow* ShownForm(MainWindow& window) {
    auto* form = window.findChild<FeedbackWindow*>("frmWeb");
    if (!form) return nullptr;
    FeedbackHandOver values;
    values.productName = window.windowTitle();
    form->HandOver(values);
    form->show();
    return form;
  }

  std::unique_ptr<PlacingAnswerer> answerer_;
};

void WindowFrameTest::init() {
  QVERIFY(MakeScratchHome());
  RefuseVersionCheck();
  answerer_ = std::make_unique<PlacingAnswerer>();
}

void WindowFrameTest::cleanup() {
  answerer_.reset();
  RemoveScratchHome();
}

void WindowFrameTest::eachWindowHasAFixedFrameWithOnlyTheCloseButton_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<bool>("form");
  QTest::newRow("the FieldPal updater's window") << false << false;
  QTest::newRow("the sensor updater's window") << true << false;
  QTest::newRow("the feedback form") << false << true;
}

void WindowFrameTest::eachWindowHasAFixedFrameWithOnlyTheCloseButton() {
  QFETCH(bool, sensorUpdater);
  QFETCH(bool, form);
  const auto window = Shown(sensorUpdater, {"-factory"});
  QWidget* shown = window.get();
  if (form) shown = ShownForm(*window);
  QVERIFY(shown && shown->isVisible());

  const Qt::WindowFlags flags = shown->windowFlags();
  QCOMPARE(flags & Qt::WindowType_Mask, form ? Qt::Dialog : Qt::Window);
  // Without the customize hint the platform adds its own buttons.
  QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
  QVERIFY(flags.testFlag(Qt::WindowTitleHint));
  QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
  QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
  QCOMPARE(shown->minimumSize(), shown->maximumSize());
  QCOMPARE(shown->size(), shown->minimumSize());
}

void WindowFrameTest::theWindowOpensMidScreenAndItsFormAndBoxesMidWindow_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<QString>("box");  // the box the window puts up first
  QTest::newRow("the FieldPal updater, its data erase warning") << false << "Data Erase Warning";
  QTest::newRow("the sensor updater, its About box")
      << true << "About AERIX 14 Sensor Firmware Updater";
}

void WindowFrameTest::theWindowOpensMidScreenAndItsFormAndBoxesMidWindow() {
  QFETCH(bool, sensorUpdater);
  QFETCH(QString, box);
  const auto window = Shown(sensorUpdater, {});
  const QRect room = window->screen()->availableGeometry();
  QVERIFY2(SameMiddle(window->frameGeometry(), room),
           qPrintable(Describe(window->frameGeometry()) + " on " + Describe(room)));

  if (sensorUpdater) {
    QAction* about = MenuItem(*window, box);
    QVERIFY(about);
    about->trigger();
  }
  QVERIFY(QTest::qWaitFor([&] { return answerer_->Find(box) != nullptr; }, kBoxTimeoutMs));
  const PlacedBox* placed = answerer_->Find(box);
  QCOMPARE(placed->owner, window->frameGeometry());
  QVERIFY2(SameMiddle(placed->frame, placed->owner),
           qPrintable(Describe(placed->frame) + " over " + Describe(placed->owner)));
  QVERIFY(placed->room.contains(placed->frame));

  // The feedback form opens over the window, and its own boxes over the form.
  FeedbackWindow* form = ShownForm(*window);
  QVERIFY(form);
  QVERIFY2(
      SameMiddle(form->frameGeometry(), window->frameGeometry()),
      qPrintable(Describe(form->frameGeometry()) + " over " + Describe(window->frameGeometry())));
  form->findChild<QLineEdit*>("edName")->clear();
  form->findChild<QPushButton*>("btnSend")->click();
  placed = answerer_->Find("Missing Information");
  QVERIFY(placed);
  QCOMPARE(placed->owner, form->frameGeometry());
  QVERIFY2(SameMiddle(placed->frame, placed->owner),
           qPrintable(Describe(placed->frame) + " over " + Describe(placed->owner)));
}

void WindowFrameTest::everyShownControlHasANameAScreenReaderCanSay_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<QStringList>("switches");
  QTest::addColumn<bool>("replaceSerial");  // Replace Serial Number shows the New Serial Number
  QTest::addColumn<bool>("form");
  QTest::addColumn<int>("controls");  // how many are on show
  QTest::newRow("the FieldPal updater") << false << QStringList{} << false << false << 4;
  QTest::newRow("the FieldPal updater in factory mode with the new serial number")
      << false << QStringList{"-factory"} << true << false << 5;
  QTest::newRow("the sensor updater in factory mode with the new serial number")
      << true << QStringList{"-factory"} << true << false << 5;
  QTest::newRow("the feedback form") << false << QStringList{"-factory"} << false << true << 11;
}

void WindowFrameTest::everyShownControlHasANameAScreenReaderCanSay() {
  QFETCH(bool, sensorUpdater);
  QFETCH(QStringList, switches);
  QFETCH(bool, replaceSerial);
  QFETCH(bool, form);
  QFETCH(int, controls);
  const auto window = Shown(sensorUpdater, switches);
  QWidget* shown = window.get();
  if (replaceSerial) {
    QAction* replace = MenuItem(*window, "&Replace Serial Number");
    QVERIFY(replace);
    replace->trigger();
  }
  if (form) shown = ShownForm(*window);
  QVERIFY(shown);

  const QList<QWidget*> found = ShownControls(shown);
  QStringList names;
  for (QWidget* control : found) {
    const QString name = SpokenName(control);
    QVERIFY2(!name.isEmpty(), qPrintable(What(control) + " has no name"));
    names << name;
  }
  QVERIFY2(found.size() == controls, qPrintable(names.join(" | ")));
  if (form) return;
  // The main window's fields by the labels beside them.
  QVERIFY2(names.contains("Connect to FieldPal with Comm Port"), qPrintable(names.join(" | ")));
  QVERIFY2(names.contains("Status:"), qPrintable(names.join(" | ")));
  QCOMPARE(names.contains("New Serial Number"), replaceSerial);
}

void WindowFrameTest::longTextsWrapInsideTheWindowAndNothingIsCut_data() {
  QTest::addColumn<bool>("sensorUpdater");
  QTest::addColumn<bool>("replaceSerial");
  QTest::addColumn<uint>("sensorType");  // chosen before the texts, 0: none
  QTest::addColumn<QString>("status");
  QTest::addColumn<QString>("connect");
  QTest::newRow("a run of 100 seconds")
      << false << false << 0u << "Successfully updated firmware in 100 seconds."
      << "You may disconnect your FieldPal now.";
  QTest::newRow("a run of 100000 seconds with the new serial number")
      << false << true << 0u << "Successfully updated firmware in 100000 seconds."
      << "You may disconnect your FieldPal now.";
  QTest::newRow("the sensor updater with its longest sensor name")
      << true << true << 261u << "Restarting the WTP-3 WTP-7 TORVA 21, please wait..."
      << "Do NOT disconnect WTP-3 WTP-7 TORVA 21 until finished.";
}

void WindowFrameTest::longTextsWrapInsideTheWindowAndNothingIsCut() {
  QFETCH(bool, sensorUpdater);
  QFETCH(bool, replaceSerial);
  QFETCH(uint, sensorType);
  QFETCH(QString, status);
  QFETCH(QString, connect);
  const auto window = Shown(sensorUpdater, {"-factory"});
  const QSize fixed = window->size();
  if (replaceSerial) MenuItem(*window, "&Replace Serial Number")->trigger();
  if (sensorType) window->ChooseSensorType(sensorType);
  auto* frontEnd = dynamic_cast<GuiFrontEnd*>(window->Context().ui);
  QVERIFY(frontEnd);
  frontEnd->SetStatus(status.toStdString());
  frontEnd->SetConnectLabel(connect.toStdString());
  QCoreApplication::processEvents();  // the layout's pending request

  QWidget* central = window->centralWidget();
  QVERIFY(window->width() == fixed.width());
  QCOMPARE(window->minimumSize(), window->maximumSize());
  bool statusFound = false;
  for (QLabel* label : central->findChildren<QLabel*>()) {
    if (!label->isVisible() || label->text().isEmpty()) continue;
    statusFound = statusFound || label->text() == status;
    const QString what = "\"" + label->text() + "\" at " + Describe(label->geometry()) + " in " +
                         Describe(central->rect());
    QVERIFY2(central->rect().contains(label->geometry()), qPrintable(what));
    if (label->wordWrap()) {
      QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(what));
    } else {
      QVERIFY2(label->minimumSizeHint().width() <= label->width(), qPrintable(what));
    }
  }
  QVERIFY(statusFound);
  for (QWidget* control : ShownControls(window.get())) {
    QVERIFY2(central->rect().contains(control->geometry()) || control->parentWidget() != central,
             qPrintable(What(control) + " at " + Describe(control->geometry())));
  }
}

void WindowFrameTest::theDataEraseWarningKeepsEachOfItsLinesWhole() {
  const auto window = Shown(false, {});
  QVERIFY(QTest::qWaitFor([&] { return answerer_->Find("Data Erase Warning") != nullptr; },
                          kBoxTimeoutMs));
  const PlacedBox* placed = answerer_->Find("Data Erase Warning");
  QVERIFY(placed->linesWhole);
  QVERIFY(placed->room.contains(placed->frame));
}

bool IsWindowFrameTest(const char* function) {
  const QMetaObject& tests = WindowFrameTest::staticMetaObject;
  return tests.indexOfMethod(QByteArray(function).split(':').front() + "()") >= 0;
}

int RunWindowFrameTests(int argc, char** argv) {
  WindowFrameTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_frame_test.moc"
