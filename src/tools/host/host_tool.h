#pragma once

#include <ostream>
#include <string>
#include <vector>

// corvane-extension-host: started by a browser for Corvane's extension, it
// relays between the extension's native-messaging port (standard input and
// output) and the running Corvane (a socket in the intake folder). It tells
// Corvane which profile the extension runs in, waits while Corvane is not
// running, and ends once it has lost Corvane, so the extension connects anew.
//
// Corvane and the host speak one JSON object per line; the first line is the
// host's {"type":"hello","browser":ID,"profile":NAME}. Everything else is
// passed through as it is, each way, once it is seen to be a JSON object
// within the size bound: anything else ends the host, and so the port.
//
// Also, from a terminal or the installer: --install-manifests and
// --remove-manifests write or remove the browsers' manifests for this host.
namespace corvane::ExtensionHost {

int run(const std::vector<std::string>& arguments, std::ostream& err);

} // namespace corvane::ExtensionHost
