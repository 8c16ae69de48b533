// The base of every exception the program raises: a message text (CP932) that the
// application's general error report shows.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string &Message() const { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char *what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};
