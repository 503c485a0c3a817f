#pragma once
// Shows the program's own messages to the user (a modal message box on the desktop). Kept
// behind an interface so the logic that raises a message can be tested without a screen.

#include <cstdint>
#include <string>

constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_ICONSTOP = 0x10;
constexpr uint32_t MB_ICONEXCLAMATION = 0x30;

class Notifier {
public:
    virtual ~Notifier() = default;
    // prompt and title are UTF-8; style is MB_OK plus one MB_ICON* value.
    virtual void MsgBox(const std::string& prompt, uint32_t style, const std::string& title) = 0;
};
