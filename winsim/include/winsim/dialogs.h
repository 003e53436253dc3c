// The message boxes of one machine: every box a call showed, as a user would have seen it, and the
// answer the simulated user gives. No one is at the keyboard: each box returns at once with the
// scripted answer, or, while none is scripted, as if Enter chose its default button.
//
// MessageBoxA records its boxes here, and so does every simulated call that shows a box of its own
// (SHFileOperationA's error box), so that tests and kvsim see what a user would have had to dismiss.
#pragma once

#include <winsim/types.h>

#include <string>
#include <vector>

namespace winsim {

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    int answer;
};

class Dialogs {
public:
    // Oldest first.
    const std::vector<MessageBoxCall>& MessageBoxes() const { return boxes_; }
    // Shows a box: records it and returns the answer (the script's, else the default button's).
    int ShowMessageBox(HWND owner, std::string text, std::string caption, UINT type);
    // 0 clears the script.
    void SetMessageBoxAnswer(int answer) { answer_ = answer; }
    void Clear() { boxes_.clear(); }

private:
    std::vector<MessageBoxCall> boxes_;
    int answer_ = 0;
};

}  // namespace winsim
