// What the internet services need of a program without a window: Qt's application object, for the
// life of one command (the HTTP client runs its event loop while a request waits). A window has
// its own application object and needs none of this. Only the commands that reach the maker's
// services make one, so the others never start Qt.
#pragma once

#include <memory>

namespace net {

class NetRuntime {
 public:
  NetRuntime();
  ~NetRuntime();
  NetRuntime(const NetRuntime&) = delete;
  NetRuntime& operator=(const NetRuntime&) = delete;

 private:
  struct Application;
  std::unique_ptr<Application> application_;
};

}  // namespace net
