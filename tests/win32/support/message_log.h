// What reached a test's window procedure, and its comparison with an expected table: the procedure
// records the kinds of message the test cares about, and SameSequence prints both sequences side by
// side, with message names, when they differ.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <set>
#include <vector>

namespace qvtest {

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A row of an expected table: the message, and its parameters where the row gives them.
struct Expected {
    UINT message;
    std::optional<WPARAM> wParam = {};
    std::optional<LPARAM> lParam = {};
};

class MessageLog {
public:
    explicit MessageLog(std::initializer_list<UINT> kinds) : kinds_(kinds) {}
    // For the window procedure: keeps the message if it is of a recorded kind.
    void Record(UINT message, WPARAM wParam, LPARAM lParam) {
        if (kinds_.count(message) != 0) messages_.push_back({message, wParam, lParam});
    }
    const std::vector<Message>& messages() const noexcept { return messages_; }
    void clear() noexcept { messages_.clear(); }
    int Count(UINT message) const;

private:
    std::set<UINT> kinds_;
    std::vector<Message> messages_;
};

::testing::AssertionResult SameSequence(const std::vector<Message>& recorded, const std::vector<Expected>& expected);

}  // namespace qvtest
