#pragma once
// The root of every error the system raises. The program body prints
// "TypeName: message" for an error that escapes it, so each class names itself.
#include <exception>
#include <string>

namespace tarnvex {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual std::string TypeName() const { return "Exception"; }

 private:
  std::string message_;
};

// Declares an exception class that inherits its base's constructors and
// reports its own name.
#define TARNVEX_EXCEPTION(Name, Base)                          \
  class Name : public Base {                                   \
   public:                                                     \
    using Base::Base;                                          \
    std::string TypeName() const override { return #Name; }    \
  }

// The runtime's conversion error: "'%s' is not a valid floating point value".
TARNVEX_EXCEPTION(EConvertError, Exception);
// The runtime's list-index error: "List index out of bounds (%d)".
TARNVEX_EXCEPTION(EListError, Exception);
// The runtime's invalid-cast error.
TARNVEX_EXCEPTION(EInvalidCast, Exception);

}  // namespace tarnvex
