// A folder of its own for each test, with the error file in it: made afresh before the test,
// removed after it, and printed when the test failed, so that a CI log shows what every layer
// wrote about the failure.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace scratch {

// The whole contents of a file, or "" when it cannot be read.
inline std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// "<temporary folder>/<prefix>_<pid>_<test name>", emptied and created. A parameterised test's
// name has a '/', which becomes '_'.
inline std::filesystem::path MakeFolder(const std::string& prefix) {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       (prefix + "_" + std::to_string(getpid()) + "_" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// The error file every fixture keeps in its folder.
inline std::filesystem::path ErrorFilePath(const std::filesystem::path& folder) {
  return folder / "errors.txt";
}

// Prints the folder's error file when the running test has failed.
inline void PrintErrorFileOnFailure(const std::filesystem::path& folder) {
  if (::testing::Test::HasFailure()) {
    std::cout << "error file:\n" << Contents(ErrorFilePath(folder)) << "\n";
  }
}

// Prints the error file of a failed test, then removes the folder.
inline void EndFolder(const std::filesystem::path& folder) {
  PrintErrorFileOnFailure(folder);
  std::filesystem::remove_all(folder);
}

}  // namespace scratch
