#include "ProxyText.h"

#include <algorithm>
#include <cctype>

namespace pressmark::platform::desktop {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<ProxyEntry> parseServer(std::string_view text, std::string protocol) {
    text = trim(text);
    // A scheme prefix as browsers write it ("http://host:port") is accepted.
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        text.remove_prefix(scheme + 3);
    }
    while (!text.empty() && text.back() == '/') {
        text.remove_suffix(1);
    }
    std::string_view host = text;
    int port = 80;
    const auto colon = text.rfind(':');
    // An IPv6 literal is bracketed: "[::1]:8080".
    const auto bracket = text.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = text.substr(0, colon);
        const std::string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        port = std::stoi(std::string(digits));
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || port < 1 || port > 65535 ||
        host.find_first_of(" \t;=") != std::string_view::npos) {
        return std::nullopt;
    }
    return ProxyEntry{std::move(protocol), std::string(host), port};
}

} // namespace

std::optional<std::vector<ProxyEntry>> parseProxyText(std::string_view utf8) {
    const std::string_view text = trim(utf8);
    std::vector<ProxyEntry> out;
    if (text.find('=') == std::string_view::npos) {
        auto e = parseServer(text, "http");
        if (!e) {
            return std::nullopt;
        }
        out.push_back(*e);
        e->protocol = "https";
        out.push_back(*e);
        return out;
    }
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto semi = text.find(';', from);
        const std::string_view part = trim(text.substr(
            from, semi == std::string_view::npos ? std::string_view::npos : semi - from));
        from = semi == std::string_view::npos ? text.size() + 1 : semi + 1;
        if (part.empty()) {
            continue;
        }
        const auto eq = part.find('=');
        if (eq == std::string_view::npos) {
            return std::nullopt;
        }
        std::string protocol(trim(part.substr(0, eq)));
        std::transform(protocol.begin(), protocol.end(), protocol.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (protocol != "http" && protocol != "https" && protocol != "ftp" && protocol != "socks") {
            return std::nullopt;
        }
        auto e = parseServer(part.substr(eq + 1), protocol);
        if (!e) {
            return std::nullopt;
        }
        std::erase_if(out, [&](const ProxyEntry& x) { return x.protocol == protocol; });
        out.push_back(*e);
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

} // namespace pressmark::platform::desktop
