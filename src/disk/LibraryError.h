#pragma once
// Turns an error object of the libyal image libraries into one line for a message.
#include <string>

namespace quarvell {

// sprint(e, buf, size) and release(&e) are the library's error functions.
template <typename Error, typename Sprint, typename Release>
std::string libraryErrorText(Error*& e, const char* what, Sprint sprint, Release release) {
    std::string text = what;
    if (e) {
        char buf[1024] = {};
        if (sprint(e, buf, sizeof buf) > 0) {
            std::string detail = buf;
            while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ' || detail.back() == '.'))
                detail.pop_back();
            // The innermost reason is the last line.
            const size_t nl = detail.rfind('\n');
            if (nl != std::string::npos) detail = detail.substr(nl + 1);
            if (!detail.empty()) text += " (" + detail + ")";
        }
        release(&e);
        e = nullptr;
    }
    return text;
}

}  // namespace quarvell
