// vexabsl check-version: asks the maker's version service whether a newer firmware than the
// built-in image (or a firmware file) is published, as the window's Help menu does, and offers
// to open the download or the page about it.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/product.h"
#include "cli/commands.h"
#include "cli/console_prompts.h"
#include "link/log.h"
#include "loader/bsl_host.h"
#include "loader/firmware_image.h"
#include "net/http_client.h"
#include "net/runtime.h"
#include "net/service_config.h"
#include "net/version_texts.h"
#include "session/catalogue.h"

namespace {

struct CheckOptions {
  std::string server;
  std::string document = product::kVersionDocument;
  std::string file;
  bool quiet = false;
  bool yes = false;
  bool no = false;
  bool json = false;
};

int RunCheckVersion(const CheckOptions& options) {
  net::NetRuntime qt;

  VexaLog log(ErrorFilePath().c_str(), vexa_log_level::kTrace);
  uint32_t carried = product::kImageVersion;
  if (!options.file.empty()) {
    VexaBSLHost loader(&log, CatalogueTypeOfKey);
    const int32_t loaded = BSLLoadTIFile(&loader, options.file.c_str());
    if (loaded < 0) return ReportFailure("opening the firmware file", loaded);
    carried = static_cast<uint32_t>(loader.image.version);
    if (carried == 0) {
      std::fprintf(stderr, "vexabsl: the name of %s carries no version to compare\n",
                   options.file.c_str());
      return kExitUsage;
    }
  }

  net::VersionCheckRequest request;
  request.carriedVersion = carried;
  request.service = options.server.empty() ? net::VersionServiceUrl() : options.server;
  request.path = options.document;
  request.quiet = options.quiet;
  request.product = net::ProductText(product::kDeviceName);
  request.log = &log;

  const Answering answering = options.yes  ? Answering::kAllOk
                              : options.no ? Answering::kAllCancel
                                           : Answering::kAsk;
  ConsolePrompts prompts(answering, options.json);
  net::HttpClient client;
  const net::VersionCheckOutcome outcome = net::CheckVersion(client, prompts, request);

  if (options.json) {
    const nlohmann::json out = {
        {"result", outcome.result},
        {"carried_version", carried},
        {"service_version", outcome.serviceVersion ? nlohmann::json(*outcome.serviceVersion)
                                                   : nlohmann::json(nullptr)},
    };
    std::printf("%s\n", out.dump().c_str());
  }
  if (outcome.result < 0) {
    std::printf("result: %d\n", outcome.result);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

void SetupCheckVersionCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<CheckOptions>();
  CLI::App* check = app.add_subcommand(
      "check-version", "Ask the maker's version service whether newer firmware is published");
  check->add_option("--server", options->server,
                    "The version service's address, http:// or https:// (default: the "
                    "options store's VersionServer, else the built-in one)");
  check->add_option("--document", options->document, "The version file on the service")
      ->capture_default_str();
  check->add_option("--file", options->file,
                    "Compare the version of this TI-Text firmware file instead of the built-in "
                    "image's");
  check->add_flag("--quiet", options->quiet,
                  "As the automatic check after start-up: speak only of a newer version");
  CLI::Option* yes = check->add_flag("--yes", options->yes, "Open the newer version's link");
  check->add_flag("--no", options->no, "Do not open the link")->excludes(yes);
  check->add_flag("--json", options->json, "Print one JSON object at the end");
  check->callback([options, &run] {
    if (!options->server.empty() && !net::IsServiceAddress(options->server)) {
      throw CLI::ValidationError("--server", "needs an http:// or https:// address");
    }
    if (options->document.empty() || options->document[0] != '/') {
      throw CLI::ValidationError("--document", "needs a path starting with '/'");
    }
    run = [options] { return RunCheckVersion(*options); };
  });
}
