#include "net/BrokerAddress.h"

#include <charconv>
#include <fstream>

#include <sys/stat.h>

namespace {

[[noreturn]] void Refuse(std::string_view url, const std::string &why) {
    throw EMMNetError("The broker URL \"" + std::string(url) + "\" " + why);
}

} // namespace

std::string TBrokerUrl::Text() const {
    const bool v6 = Host.find(':') != std::string::npos;
    return std::string(Tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + Host + "]" : Host) + ":" +
           std::to_string(Port);
}

TBrokerUrl ParseBrokerUrl(std::string_view url) {
    TBrokerUrl broker;
    std::string_view rest;
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        broker.Tls = true;
        broker.Port = 8883;
        rest = url.substr(8);
    } else
        Refuse(url, "must begin with mqtt:// or mqtts://.");
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.find('@') != std::string_view::npos)
        Refuse(url, "holds a user name: put \"user:password\" in the credentials file instead.");
    if (rest.find_first_of("/?#") != std::string_view::npos) Refuse(url, "may hold only a host and a port.");
    std::string_view port;
    bool portGiven = false;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) Refuse(url, "has an unclosed '['.");
        broker.Host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) Refuse(url, "has text after its address.");
        portGiven = !rest.empty();
        if (portGiven) port = rest.substr(1);
        if (broker.Host.empty()) Refuse(url, "names no host.");
    } else {
        const std::size_t colon = rest.find(':');
        broker.Host = std::string(rest.substr(0, colon));
        portGiven = colon != std::string_view::npos;
        if (portGiven) {
            port = rest.substr(colon + 1);
            if (port.find(':') != std::string_view::npos)
                Refuse(url, "needs brackets around an IPv6 address.");
        }
        if (broker.Host.empty()) Refuse(url, "names no host.");
    }
    if (portGiven) {
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            Refuse(url, "has no port between 1 and 65535.");
        broker.Port = value;
    }
    return broker;
}

TCredentials ReadCredentialsFile(const std::string &path) {
    const auto refuse = [&](const std::string &why) -> TCredentials {
        throw EMMNetError("The credentials file " + path + " " + why);
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return refuse("cannot be found.");
    if (!S_ISREG(info.st_mode)) return refuse("is not a file.");
    if ((info.st_mode & (S_IRGRP | S_IROTH | S_IWGRP | S_IWOTH)) != 0)
        return refuse("may be read or changed by other users: allow its owner only (chmod 600).");
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) return refuse("cannot be read.");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return refuse("holds no \"user:password\" line.");
    return {line.substr(0, colon), line.substr(colon + 1)};
}
