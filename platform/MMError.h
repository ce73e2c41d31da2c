#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

// Root of every error a component raises; the message is shown to the operator as it stands.
class EMMError : public std::runtime_error {
  public:
    explicit EMMError(const std::string &message) : std::runtime_error(message) {}
};

// No system timer (or other system resource) could be had.
class EOutOfResources : public EMMError {
  public:
    using EMMError::EMMError;
};

// Where an exception ends up that leaves code nobody called directly: timer ticks,
// worker threads, posted messages. The program installs a handler that shows the
// application's error box; without one the message goes to standard error.
// Any thread may call HandleApplicationException; the handler runs on that thread.
using TMMExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TMMExceptionHandler Handler);
void HandleApplicationException(std::exception_ptr Error);
