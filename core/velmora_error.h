// The one error type of the data, correction and link layers: it carries only a message text,
// which the caller shows to the user as it stands.
#pragma once

#include <stdexcept>
#include <string>

class VelmoraError : public std::runtime_error {
  public:
    explicit VelmoraError(const std::string& message) : std::runtime_error(message) {}
};
