#pragma once
// Stands in for the desktop while a test runs: message boxes are recorded and answered from a
// list (default "Ok", or "No" to a question), web addresses and exit requests are recorded.
#include <QString>
#include <QUrl>
#include <deque>
#include <vector>

#include "ui/PageServices.h"

struct RecordedMessage {
    QString text;
    QString caption;
    quarvell::MsgIcon icon;
    quarvell::MsgButtons buttons;
    QString detail;  // shown below the text; empty for most boxes
};

class RecordingServices {
public:
    RecordingServices();   // installs itself
    ~RecordingServices();  // puts the previous services back

    std::vector<RecordedMessage> messages;
    std::vector<QUrl> openedUrls;
    std::vector<int> exitCodes;
    std::deque<quarvell::MsgResult> answers;  // taken in order by questions

    QStringList messageTexts() const;

private:
    quarvell::ui::PageServices previous_;
};
