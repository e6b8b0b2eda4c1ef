#pragma once
// UiSink for the terminal: status lines on stderr (flushed a few times a second when stderr is
// a file or pipe), a progress bar when stderr is a terminal,
// message boxes as lines; Yes/No questions are asked on the terminal (end of input answers No)
// unless the command was told to answer yes.
#include <chrono>

#include "common/UiSink.h"

namespace quarvell::cli {

class CliSink final : public UiSink {
public:
    explicit CliSink(bool assumeYes = false);
    ~CliSink() override;

    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPos(int64_t pos) override;
    void setStatus(const std::string& text) override;
    void setDetail(const std::string& text) override;
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;

    // Texts of every message box shown, for callers that decide their exit code from them.
    const std::string& lastMessage() const { return lastMessage_; }

private:
    void clearBar();
    void drawBar();

    bool assumeYes_;
    bool tty_;
    bool barShown_ = false;
    int64_t low_ = 0, high_ = 0, pos_ = 0;
    int lastPermille_ = -1;
    std::string lastStatus_;
    std::string lastMessage_;
    std::chrono::steady_clock::time_point lastFlush_{};  // of status lines going to a file or pipe
};

}  // namespace quarvell::cli
