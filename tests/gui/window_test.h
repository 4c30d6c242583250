// What the window tests share: a home, configuration, data and runtime folder of their own for
// every test function (the options store, the error file and the platform follow them), the
// options store's names, a menu item found by its text, and the timer that answers message boxes.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

class QAction;
class QMainWindow;
class QMessageBox;

inline constexpr const char* kOrganisation = "Norvane Devices, Inc";
inline constexpr const char* kApplication = "VexaBSL";

// The base of the window tests' classes: their init makes the scratch home, their cleanup
// removes it.
class WindowTest : public QObject {
 protected:
  // Makes the folders home, config, data, runtime and those named, and points the environment
  // and the options store at them. False when they could not be made.
  bool MakeScratchHome(const QStringList& more = {});
  void RemoveScratchHome() { scratch_.reset(); }
  // The quiet version check after start-up goes to a loopback port that refuses at once, never
  // to the build's default host (a name lookup that may take long without a network).
  static void RefuseVersionCheck();

  QString Scratch(const QString& name) const { return scratch_->filePath(name); }
  QString ConfigFile() const;
  QString ErrorFile() const;  // the FieldPal updater's
  // For a failed test: the error file on the test's output.
  void PrintErrorFile() const;

 private:
  std::unique_ptr<QTemporaryDir> scratch_;
};

// Answers every message box of the application, one a tick (the next one is shown once this
// one's loop has ended): Answer records the box and presses one of its buttons.
class BoxAnswering : public QObject {
 public:
  BoxAnswering();

 protected:
  virtual void Answer(QMessageBox* box) = 0;

 private:
  void AnswerOne();
  QTimer timer_;
};

// A menu item by its text, in any of the window's menus; null when there is none.
QAction* MenuItem(QMainWindow& window, const QString& text);

// A file's text, empty when it cannot be read.
QString ReadText(const QString& path);
