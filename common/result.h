// The three-state result that every engine routine returns: success, end of capture data, or a
// one-line message for the user.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace fdc {

// The message buffer of the engine holds 500 characters, so a message is at most 499 long.
inline constexpr std::size_t kErrorTextSize = 500;

class [[nodiscard]] Result {
 public:
  enum class State { kOk, kEnd, kError };

  static Result Ok() { return Result(State::kOk); }
  static Result End() { return Result(State::kEnd); }
  static Result Error(std::string message) {
    Result result(State::kError);
    result.message_ = std::make_unique<std::string>(std::move(message));
    return result;
  }

  Result(const Result& other) : state_(other.state_) {
    if (other.message_) message_ = std::make_unique<std::string>(*other.message_);
  }
  Result& operator=(const Result& other) {
    if (this != &other) *this = Result(other);
    return *this;
  }
  Result(Result&&) noexcept = default;
  Result& operator=(Result&&) noexcept = default;

  bool ok() const { return state_ == State::kOk; }
  bool end() const { return state_ == State::kEnd; }
  bool failed() const { return state_ == State::kError; }
  State state() const { return state_; }
  // The message of a failure (the ErrorText); empty otherwise.
  const std::string& ErrorText() const { return message_ ? *message_ : Empty(); }

 private:
  explicit Result(State state) : state_(state) {}
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }

  State state_;
  // Only failures carry a message, so passing success along costs no string.
  std::unique_ptr<std::string> message_;
};

// Formats a failure message, cut to the 499 characters that the ErrorText holds.
[[nodiscard]] Result Fail(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace fdc
