#include "net/runtime.h"

#include <QCoreApplication>

namespace net {

// Qt keeps the arguments it is given for the application's life, so they live here with it.
struct NetRuntime::Application {
  int argc = 1;
  char name[8] = "vexabsl";
  char* argv[2] = {name, nullptr};
  QCoreApplication application{argc, argv};
};

NetRuntime::NetRuntime() : application_(std::make_unique<Application>()) {}

NetRuntime::~NetRuntime() = default;

}  // namespace net
