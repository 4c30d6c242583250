// The test HTTP server (http_server.py) started on loopback for one test: routes written as JSON,
// every request it got read back with its request line, headers and body. Over HTTPS it serves a
// certificate made for the test by a certificate authority of its own (CaFile()).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct RecordedRequest {
  std::string requestLine;
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The value of a header by its name, case-insensitive; empty when absent.
  std::string Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
      if (key.size() == name.size() &&
          std::equal(key.begin(), key.end(), name.begin(),
                     [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
        return value;
      }
    }
    return {};
  }
};

// How the server speaks: plain HTTP, or HTTPS with a certificate for `certHost`.
struct LoopbackTls {
  bool on = false;
  std::string certHost = "127.0.0.1";
};

class LoopbackServer {
 public:
  explicit LoopbackServer(const std::filesystem::path& folder, const LoopbackTls& tls = {})
      : routes_(folder / "routes.json"), log_(folder / "requests.jsonl"), tls_(tls.on) {
    SetRoutes(nlohmann::json::object());
    const std::string tlsFolder = (folder / "tls").string();
    if (tls.on) std::filesystem::create_directories(tlsFolder);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      if (tls.on) {
        execlp("python3", "python3", VEXA_HTTP_SERVER_PATH, "--tls", tlsFolder.c_str(),
               "--cert-host", tls.certHost.c_str(), routes_.c_str(), log_.c_str(),
               static_cast<char*>(nullptr));
      } else {
        execlp("python3", "python3", VEXA_HTTP_SERVER_PATH, routes_.c_str(), log_.c_str(),
               static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port_ = std::atoi(line.c_str());
  }

  ~LoopbackServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool Running() const { return port_ > 0; }
  std::string Url() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
  }
  // The certificate authority that signed the server's certificate, for a client to trust.
  std::filesystem::path CaFile() const { return routes_.parent_path() / "tls" / "ca.pem"; }

  void SetRoutes(const nlohmann::json& routes) { std::ofstream(routes_) << routes.dump(); }

  std::vector<RecordedRequest> Requests() const {
    std::vector<RecordedRequest> requests;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      const nlohmann::json record = nlohmann::json::parse(line);
      RecordedRequest request;
      request.requestLine = record["request_line"];
      request.method = record["method"];
      request.path = record["path"];
      for (const auto& header : record["headers"])
        request.headers.emplace_back(header[0], header[1]);
      request.body =
          QByteArray::fromBase64(QByteArray::fromStdString(record["body"].get<std::string>()))
              .toStdString();
      requests.push_back(std::move(request));
    }
    return requests;
  }

 private:
  std::filesystem::path routes_;
  std::filesystem::path log_;
  bool tls_ = false;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on loopback that nothing listens on: bound, then closed again.
inline std::string DeadLoopbackUrl() {
  return "http://127.0.0.1:9";
}
