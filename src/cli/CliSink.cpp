#include "cli/CliSink.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace quarvell::cli {

CliSink::CliSink(bool assumeYes) : assumeYes_(assumeYes), tty_(::isatty(STDERR_FILENO) == 1) {}

CliSink::~CliSink() { clearBar(); }

void CliSink::clearBar() {
    if (barShown_) {
        std::fprintf(stderr, "\r\033[K");
        barShown_ = false;
    }
}

void CliSink::drawBar() {
    if (!tty_ || high_ <= low_) return;
    int64_t span = high_ - low_;
    int64_t at = pos_ < low_ ? 0 : (pos_ > high_ ? span : pos_ - low_);
    int permille = int((long double)at * 1000 / span);
    if (permille == lastPermille_ && barShown_) return;
    lastPermille_ = permille;
    const int width = 40;
    int filled = permille * width / 1000;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(width - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d.%d%%", bar.c_str(), permille / 10, permille % 10);
    std::fflush(stderr);
    barShown_ = true;
}

void CliSink::setProgressRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
    lastPermille_ = -1;
}

void CliSink::setProgressPos(int64_t pos) {
    pos_ = pos;
    drawBar();
}

void CliSink::setStatus(const std::string& text) {
    // A status line that repeats the message just shown (the done message) is not printed twice.
    if (text.empty() || text == lastStatus_ || text == lastMessage_) return;
    lastStatus_ = text;
    clearBar();
    std::fprintf(stderr, "%s\n", text.c_str());
    if (!tty_) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastFlush_ >= std::chrono::milliseconds(250)) {
            std::fflush(stderr);
            lastFlush_ = now;
        }
    }
    drawBar();
}

void CliSink::setDetail(const std::string&) {}

MsgResult CliSink::messageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons buttons) {
    clearBar();
    lastMessage_ = text;
    lastStatus_.clear();
    if (buttons != MsgButtons::YesNo) {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
        return MsgResult::Ok;
    }
    if (assumeYes_) {
        std::fprintf(stderr, "%s [y/N] y\n", text.c_str());
        std::fflush(stderr);
        return MsgResult::Yes;
    }
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fprintf(stderr, "\n");
        return MsgResult::No;
    }
    return (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") ? MsgResult::Yes : MsgResult::No;
}

}  // namespace quarvell::cli
