#include "net/version_texts.h"

namespace net {

std::string ProductText(const std::string& device_name) {
  return device_name + " Firmware Updater";
}

std::string VersionServiceErrorText(const std::string& client_message) {
  std::string text =
      "Error connecting to Norvane's version check service.\n"
      "This feature requires your computer to be connected \n"
      "to the internet.\n"
      "\n\nPlease make a connection to the internet and try again.";
  if (!client_message.empty()) text += "\n\nError: " + client_message;
  return text;
}

std::string VersionUnreadableText(int32_t code) {
  return "Error parsing the version information returned by \n"
         "Norvane's version check service.\n"
         "[error " +
         std::to_string(code) + "]" + "\n\nPlease try again or contact Norvane for help.";
}

std::string NewDownloadText(const std::string& product) {
  return "There is newer version of " + product + " available for download." +
         "\n\nWould you like to download this new version with your web browser now?";
}

std::string NewVersionPageText(const std::string& product, const std::string& link) {
  return "There is information about a newer version of " + product + "\navailable at " + link +
         "\n\nWould you like to visit this page with your web browser now?";
}

std::string LatestVersionText(const std::string& product) {
  return "You are using the latest version of " + product + ".";
}

std::string NewerThanServiceText(const std::string& product) {
  return "You are running a newer version of " + product +
         "\nthan is available from Norvane's web site.";
}

std::string BrowserLaunchErrorText(const std::string& product, const std::string& link) {
  return product + " had trouble launching your web browser.\n" +
         "Please try manually going to:\n" + link;
}

}  // namespace net
