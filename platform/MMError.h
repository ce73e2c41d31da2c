#pragma once

#include <stdexcept>
#include <string>

// Root of every error a component raises; the message is shown to the operator as it stands.
class EMMError : public std::runtime_error {
  public:
    explicit EMMError(const std::string &message) : std::runtime_error(message) {}
};
