// The fixture of the tests of vexabsl check-version and vexabsl feedback: a loopback server of
// the test's own, the program run as a user runs it with folders of the test's own, and the
// multipart body of a recorded post taken apart.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/net/loopback_server.h"
#include "tests/support/run_tool.h"

class NetCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("vexa-net-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "bin");
    std::filesystem::create_directories(folder_ / "data");
    std::filesystem::create_directories(folder_ / "config");
    server_ = std::make_unique<LoopbackServer>(folder_);
    ASSERT_TRUE(server_->Running());
    SetOpener(0);
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(folder_);
  }

  // A stand-in for xdg-open, first on PATH: it records what it was given and exits with `status`.
  void SetOpener(int status) {
    const std::filesystem::path opener = folder_ / "bin" / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << Opened().string()
                          << "'\nexit " << status << "\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  }
  std::filesystem::path Opened() const { return folder_ / "opened.txt"; }
  std::string OpenedLinks() const {
    std::ifstream in(Opened());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Runs vexabsl with the test's folders and `environment` ("NAME='value' ..."). A run that
  // hangs is killed after a minute, so that no test leaves it behind.
  ToolOutcome Vexabsl(const std::string& arguments, const std::string& environment = "") {
    const std::string env = "XDG_DATA_HOME='" + (folder_ / "data").string() +
                            "' XDG_CONFIG_HOME='" + (folder_ / "config").string() + "' PATH='" +
                            (folder_ / "bin").string() + ":" + std::getenv("PATH") + "' " +
                            environment + " ";
    return RunTool("/usr/bin/env", env + "timeout -s KILL 60 '" + VEXABSL_PATH + "' " + arguments);
  }

  void ServeVersionFile(const std::string& body) {
    server_->SetRoutes({{"/versionfinder/FieldPal-C-Firmware.txt", {{"body", body}}}});
  }
  ToolOutcome Check(const std::string& extra = "", const std::string& environment = "") {
    return Vexabsl("check-version --server " + server_->Url() + " " + extra, environment);
  }

  std::filesystem::path folder_;
  std::unique_ptr<LoopbackServer> server_;
};

inline bool Has(const ToolOutcome& run, const std::string& text) {
  return run.output.find(text) != std::string::npos;
}

struct Part {
  std::map<std::string, std::string> headers;  // lower-case names
  std::string name;
  std::string fileName;
  std::string body;
};

inline std::string Between(const std::string& text, const std::string& open,
                           const std::string& close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return {};
  const size_t end = text.find(close, start + open.size());
  return text.substr(start + open.size(), end - start - open.size());
}

// The parts of a multipart/form-data body, in order.
inline std::vector<Part> Parts(const RecordedRequest& request) {
  std::vector<Part> parts;
  const std::string type = request.Header("Content-Type");
  const size_t at = type.find("boundary=");
  if (at == std::string::npos) return parts;
  std::string boundary = type.substr(at + 9);
  if (!boundary.empty() && boundary.front() == '"')
    boundary = boundary.substr(1, boundary.size() - 2);
  const std::string delimiter = "--" + boundary;
  size_t pos = request.body.find(delimiter);
  while (pos != std::string::npos) {
    pos += delimiter.size();
    if (request.body.compare(pos, 2, "--") == 0) break;
    pos += 2;  // CRLF
    const size_t headersEnd = request.body.find("\r\n\r\n", pos);
    const size_t next = request.body.find("\r\n" + delimiter, headersEnd);
    if (headersEnd == std::string::npos || next == std::string::npos) break;
    Part part;
    std::istringstream lines(request.body.substr(pos, headersEnd - pos));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t colon = line.find(':');
      std::string key = line.substr(0, colon);
      for (char& c : key) c = static_cast<char>(std::tolower(c));
      part.headers[key] = line.substr(colon + 2);
    }
    part.name = Between(part.headers["content-disposition"], "name=\"", "\"");
    part.fileName = Between(part.headers["content-disposition"], "filename=\"", "\"");
    part.body = request.body.substr(headersEnd + 4, next - headersEnd - 4);
    parts.push_back(part);
    pos = next + 2;
  }
  return parts;
}

class FeedbackCliTest : public NetCliTest {
 protected:
  void ServeFeedback(const std::string& reply = "<html>Script Completed</html>") {
    server_->SetRoutes(
        {{"/", {{"body", "<html>home</html>"}}}, {"/php-bin/app_feedback.php", {{"body", reply}}}});
  }
  std::string ErrorFile() const {
    return (folder_ / "data" / "FieldPal Firmware Updater.errors.txt").string();
  }
  ToolOutcome Send(const std::string& arguments, const std::string& environment = "") {
    return Vexabsl("feedback --server " + server_->Url() + " --data-dir '" +
                       (folder_ / "data").string() + "' " + arguments,
                   environment);
  }
  std::vector<RecordedRequest> Posts() const {
    std::vector<RecordedRequest> posts;
    for (const RecordedRequest& r : server_->Requests()) {
      if (r.method == "POST") posts.push_back(r);
    }
    return posts;
  }
};
