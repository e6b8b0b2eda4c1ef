#pragma once
// The About box: the program's name and version, its web page and what it does.
#include <QDialog>

namespace quarvell::ui {

class CQuarvellAboutDlg final : public QDialog {
public:
    explicit CQuarvellAboutDlg(QWidget* parent);
};

}  // namespace quarvell::ui
