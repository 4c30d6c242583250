// The texts of the version check's boxes. `product` is the product text: the device's display
// name and " Firmware Updater".
#pragma once

#include <cstdint>
#include <string>

namespace net {

std::string ProductText(const std::string& device_name);

// "Version Check Error", for kErrVersionService (with the client's message when there is one) and
// kErrVersionUnreadable.
std::string VersionServiceErrorText(const std::string& client_message);
std::string VersionUnreadableText(int32_t code);

// "New Version Available": the question for a download, and for a page about the new version.
std::string NewDownloadText(const std::string& product);
std::string NewVersionPageText(const std::string& product, const std::string& link);

// "Version Finder": the versions are equal, or the carried one is newer.
std::string LatestVersionText(const std::string& product);
std::string NewerThanServiceText(const std::string& product);

// "Web Browser Launch Error".
std::string BrowserLaunchErrorText(const std::string& product, const std::string& link);

}  // namespace net
