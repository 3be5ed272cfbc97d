#pragma once
// A failure to start system audio capture. Its text names the failing call and its
// error code: "<call> failed (<code>)".

#include <stdexcept>
#include <string>

class TapError : public std::runtime_error {
public:
    explicit TapError(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};
