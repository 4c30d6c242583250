// Where the maker's services are. Each address has a default fixed when the updater is built (the
// maker's hosts are not part of this project) and a value in the options store overrides it:
// "VersionServer" for the version service, "SoftwareServer" for the software host of the feedback
// script. Both http:// and https:// addresses work; a stored value of any other kind (file://,
// say) is not read as a local file: the client refuses it and the service reports why. Addresses
// are texts, as the HTTP client takes them.
#pragma once

#include <string>

namespace net {

std::string VersionServiceUrl();
std::string SoftwareHostUrl();

// The maker's support address: the feedback goes there unless the user names a representative.
std::string SupportEmail();

// An address a service may be given: http:// or https:// with a host.
bool IsServiceAddress(const std::string& text);

// `path` ("/versionfinder/...") on the host of `base`, without the query and fragment of `base`.
std::string ServiceUrl(const std::string& base, const std::string& path);

// The host name of an address ("software.norvane.example"), as the boxes name it.
std::string HostName(const std::string& url);

}  // namespace net
