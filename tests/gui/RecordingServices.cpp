#include "RecordingServices.h"

using namespace quarvell;

RecordingServices::RecordingServices() : previous_(ui::PageServices::current()) {
    auto& s = ui::PageServices::current();
    s.messageBox = [this](QWidget*, const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                          const QString& detail) {
        messages.push_back({text, caption, icon, buttons, detail});
        if (buttons == MsgButtons::Ok) return MsgResult::Ok;
        if (answers.empty()) return MsgResult::No;
        MsgResult answer = answers.front();
        answers.pop_front();
        return answer;
    };
    s.openUrl = [this](const QUrl& url) {
        openedUrls.push_back(url);
        return true;
    };
    s.exitApplication = [this](int code) { exitCodes.push_back(code); };
}

RecordingServices::~RecordingServices() { ui::PageServices::current() = previous_; }

QStringList RecordingServices::messageTexts() const {
    QStringList out;
    for (const auto& m : messages) out << m.text;
    return out;
}
