#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark::platform::desktop {

// One protocol's proxy from the Windows proxy text.
struct ProxyEntry {
    std::string protocol; // http, https, ftp or socks
    std::string host;     // UTF-8
    int port = 0;
    friend bool operator==(const ProxyEntry&, const ProxyEntry&) = default;
};

// Parses "host:port" (http and https) or "http=host:port;https=...;ftp=...;
// socks=..." (each protocol given). A missing port means 80. nullopt when the
// text cannot be read: an empty host, a port outside 1..65535 or not a
// number, an unknown protocol, nothing at all.
std::optional<std::vector<ProxyEntry>> parseProxyText(std::string_view utf8);

} // namespace pressmark::platform::desktop
