#include "tests/gui/window_test.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <cstdio>

bool WindowTest::MakeScratchHome(const QStringList& more) {
  scratch_ = std::make_unique<QTemporaryDir>();
  if (!scratch_->isValid()) return false;
  for (const QString& folder : QStringList{"home", "config", "data", "runtime"} + more) {
    if (!QDir().mkpath(Scratch(folder))) return false;
  }
  QFile::setPermissions(Scratch("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HOME", Scratch("home").toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", Scratch("config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", Scratch("data").toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", Scratch("runtime").toLocal8Bit());
  // QSettings takes its folders from the environment once per process; point it here again.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Scratch("config"));
  return true;
}

void WindowTest::RefuseVersionCheck() {
  QSettings(kOrganisation, kApplication).setValue("VersionServer", "http://127.0.0.1:9");
}

QString WindowTest::ConfigFile() const {
  return Scratch("config") + "/" + kOrganisation + "/" + kApplication + ".conf";
}

QString WindowTest::ErrorFile() const {
  return Scratch("data") + "/Norvane/VexaBSL/FieldPal Firmware Updater.errors.txt";
}

void WindowTest::PrintErrorFile() const {
  std::printf("error file:\n%s\n", qPrintable(ReadText(ErrorFile())));
}

BoxAnswering::BoxAnswering() {
  connect(&timer_, &QTimer::timeout, this, &BoxAnswering::AnswerOne);
  timer_.start(20);
}

void BoxAnswering::AnswerOne() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
    box->setProperty("answered", true);
    Answer(box);
    return;
  }
}

QAction* MenuItem(QMainWindow& window, const QString& text) {
  for (QAction* menuAction : window.menuBar()->actions()) {
    if (!menuAction->menu()) continue;
    for (QAction* item : menuAction->menu()->actions()) {
      if (item->text() == text) return item;
    }
  }
  return nullptr;
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(file.readAll());
}
