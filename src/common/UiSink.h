#pragma once
// The one way the core reports to whoever watches it: a progress bar, a status line,
// a detail line (the file-size label while saving) and message boxes.
#include <cstdint>
#include <string>

namespace quarvell {

inline constexpr const char* kCaption = "Quarvell Ostrelle(Full) v1.0";

enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

class UiSink {
public:
    virtual ~UiSink() = default;
    virtual void setProgressRange(int64_t low, int64_t high) = 0;
    virtual void setProgressPos(int64_t pos) = 0;
    virtual void setStatus(const std::string& text) = 0;
    // Secondary line under the status line ("File size: 12 kb" while saving); empty clears it.
    virtual void setDetail(const std::string& text) { (void)text; }
    virtual MsgResult messageBox(const std::string& text, const std::string& caption = kCaption,
                                 MsgIcon icon = MsgIcon::Information,
                                 MsgButtons buttons = MsgButtons::Ok) = 0;
};

// A sink that swallows everything and answers Yes/Ok; for callers that want no reports.
class NullSink : public UiSink {
public:
    void setProgressRange(int64_t, int64_t) override {}
    void setProgressPos(int64_t) override {}
    void setStatus(const std::string&) override {}
    MsgResult messageBox(const std::string&, const std::string&, MsgIcon, MsgButtons buttons) override {
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
};

}  // namespace quarvell
