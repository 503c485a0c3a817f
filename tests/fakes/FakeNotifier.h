#pragma once
// Records the message boxes the code under test shows, instead of showing them.

#include "Notifier.h"

#include <string>
#include <vector>

class FakeNotifier : public Notifier {
public:
    struct Message {
        std::string prompt;
        uint32_t style;
        std::string title;
    };

    void MsgBox(const std::string& prompt, uint32_t style, const std::string& title) override {
        messages.push_back({prompt, style, title});
    }
    int count() const { return static_cast<int>(messages.size()); }

    std::vector<Message> messages;
};
