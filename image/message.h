// A message box as the system shows it: its text, title and style, and the answers.
#pragma once

#include <string>

namespace ravelle {

// Message-box styles and answers, with the values the system has always used.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbYesNoCancel = 0x03;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

enum class Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// A message as the system shows it. An empty title means the platform's default caption.
struct Message {
  std::string text;
  std::string title;
  unsigned style = kMbIconHand;
  friend bool operator==(const Message&, const Message&) = default;
};

}  // namespace ravelle
