// What Qt Network needs of a command-line program: a QCoreApplication for the life of a command
// (its event loop runs while a request waits).
#pragma once

#include <QCoreApplication>

class QtRuntime {
 public:
  QtRuntime() : application_(argc_, argv_) {}

 private:
  int argc_ = 1;
  char name_[8] = "vexabsl";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication application_;
};
