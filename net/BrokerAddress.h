#pragma once

// Where the feed goes and as whom: the broker's URL (mqtt://host[:port], mqtts://host[:port];
// an IPv6 address in brackets) and the credentials file (one line "user:password", readable
// by its owner only, so no other account on the machine can learn the password).
//
// Thread contract: any thread.

#include "platform/MMError.h"

#include <optional>
#include <string>
#include <string_view>

// A URL, a credentials file or a TLS set-up the feed refuses; the text names what and why.
class EMMNetError : public EMMError {
  public:
    using EMMError::EMMError;
};

struct TBrokerUrl {
    bool Tls = false;
    std::string Host;
    int Port = 1883;
    bool operator==(const TBrokerUrl &) const = default;
    // "mqtts://broker.example:8883", as error texts name the broker.
    std::string Text() const;
};

// Raises EMMNetError saying what is wrong. A user name or password in the URL is refused:
// the command line is visible to every account through the process list.
TBrokerUrl ParseBrokerUrl(std::string_view url);

struct TCredentials {
    std::string User;
    std::string Password;
};

// Raises EMMNetError naming the file when it cannot be read, is not a regular file, may be
// read by the group or others, or holds no "user:password" line. The password may hold ':'.
TCredentials ReadCredentialsFile(const std::string &path);
