#pragma once
// The signature editor: a form for one signature (extension, starting and ending bytes, the
// optional size rules and the category), "..." to choose the settings file, and Save to append
// the signature as one record to that file, with the core editor's rules and messages.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

namespace quarvell {
class SignatureEditor;
}

namespace quarvell::ui {

class QtUiSink;

class RawSettingDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 155;
    enum : int {
        kExtension = 1292, kHeader = 1293, kFooter = 1294, kSizeOffset = 1295, kSizeBytes = 1296,
        kIncludesHeader = 1255, kHeaderSize = 1297, kSkip = 1298, kApprox = 1299, kCategory = 1300,
        kFilePath = 1303, kChooseFile = 1229, kSave = 1269, kFirstHelp = 1306,
    };

    explicit RawSettingDlg(QWidget* parent = nullptr);
    ~RawSettingDlg() override;

    // The help text of each field, in field order (the help buttons 1306.. show them).
    static QStringList helpTexts();
    // The settings-file picker (a save-as dialog); tests put their own here.
    std::function<QString()> chooseFile;
    bool fileOpen() const;

private:
    void pickFile();
    void save();

    std::unique_ptr<SignatureEditor> editor_;
    std::unique_ptr<QtUiSink> sink_;  // the editor's messages, shown over the dialog
};

}  // namespace quarvell::ui
