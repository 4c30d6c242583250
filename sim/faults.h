// Faults asked for on the command line ("--fault NAME" or "--fault NAME=N"), so that tests and
// users can rehearse failures. Each part of the simulator takes the names it knows; a name that
// nobody takes is a usage error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class FaultList {
 public:
  // Adds "NAME" or "NAME=N" (N a non-negative decimal number). False with a reason otherwise.
  bool Add(std::string_view text, std::string* error);

  // Takes a fault without a number: true when it was asked for.
  bool TakeFlag(std::string_view name);
  // Takes a fault that needs a number N >= 1: true when asked for, with *value set. A missing
  // or zero number sets *error.
  bool TakeCount(std::string_view name, uint32_t* value, std::string* error);

  // Faults nobody took, as given.
  std::vector<std::string> Untaken() const;

 private:
  struct Entry {
    std::string name;
    bool hasValue = false;
    uint64_t value = 0;
    bool taken = false;
  };
  std::vector<Entry> entries_;
};
