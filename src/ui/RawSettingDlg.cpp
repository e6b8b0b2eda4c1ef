#include "ui/RawSettingDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/QtUiSink.h"
#include "raw/SignatureEditor.h"
#include "ui/PageServices.h"
#include "ui/WizardPage.h"

namespace quarvell::ui {

namespace {

struct Field {
    int id;
    const char* label;
    bool digits;
};

const Field kFields[] = {
    {RawSettingDlg::kExtension, "File Extention :", false},
    {RawSettingDlg::kHeader, "Starting Signature :", false},
    {RawSettingDlg::kFooter, "Ending Signature :", false},
    {RawSettingDlg::kSizeOffset, "Offset to Size Byte :", true},
    {RawSettingDlg::kSizeBytes, "Number Of Bytes In Size :", true},
    {RawSettingDlg::kIncludesHeader, "Size includes header size", false},
    {RawSettingDlg::kHeaderSize, "Header size :", true},
    {RawSettingDlg::kSkip, "Size_to_skip_WhileParsing :", true},
    {RawSettingDlg::kApprox, "Approx file size :", true},
    {RawSettingDlg::kCategory, "Put Under Category :", false},
};

int64_t numberIn(const QWidget* dialog, int id) { return control<QLineEdit>(dialog, id)->text().toLongLong(); }
std::string textIn(const QWidget* dialog, int id) { return control<QLineEdit>(dialog, id)->text().toStdString(); }

}  // namespace

QStringList RawSettingDlg::helpTexts() {
    return {
        QStringLiteral("here enter the file extentiom .\n Example 'jpg','mp3','avi',..etc.\n Do not put a dot(.) before extention(i.e .mp3)"),
        QStringLiteral("here enter the file signature that happens to be in the starting of the file.\n example 0x89,0x50,0x4E,0x47  for png File"),
        QStringLiteral("here enter the file signature that happens to be in the end of the file.\n Example 0x49,0x45,0x4E,0x44,0xAE,0x42,0x60,0x82 for png File.\n its optional Field .you can leave it if you dont know ."),
        QStringLiteral("if  the size of file is given in the header and you know its offset please enter that offset here.\n its optional Field .you can leave it if you don't know."),
        QStringLiteral("if  you know how many bytes represents size please enter that number of bytes  here.\n its optional Field .you can leave it ifyou  don't know."),
        QStringLiteral("check this checkbox if the size alkso includes the header size else leave it.\n its optional Field .you can leave it if you don't know."),
        QStringLiteral("please enter the header size in bytes here.\n its optional Field .you can leave it if you don't know."),
        QStringLiteral("when we find the file signature you mentioned  above we can skip further file scanning by an amount you enter here.\n For example mp3 are generally greater then 2 mb .so you can enter 2097152 bytes here.\n its optional Field .you can leave it ."),
        QStringLiteral("please enter approx file size here.\n its optional Field .you can leave it if you don't know."),
        QStringLiteral("here enter the name of category you want to put these files under"),
    };
}

RawSettingDlg::RawSettingDlg(QWidget* parent)
    : QDialog(parent), sink_(std::make_unique<QtUiSink>(this, nullptr, nullptr)) {
    editor_ = std::make_unique<SignatureEditor>(sink_.get());
    setObjectName(QString::number(kResourceId));
    setWindowTitle(QStringLiteral("Setting"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const QStringList help = helpTexts();
    auto* digitsOnly = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    int row = 0;
    for (const Field& f : kFields) {
        QWidget* input;
        const QString tip = f.id == kExtension
                                ? QStringLiteral("Enter file extention .\n Example 'jpg','mp3','avi',..etc.\n Do not put a dot(.) before extention(i.e .mp3)")
                                : help[row];
        if (f.id == kIncludesHeader) {
            input = named(new QCheckBox(QString::fromUtf8(f.label), this), f.id);
            grid->addWidget(input, row, 1);
        } else {
            auto* edit = named(new QLineEdit(this), f.id);
            edit->setMinimumWidth(320);
            if (f.digits) edit->setValidator(digitsOnly);
            input = edit;
            grid->addWidget(new QLabel(QString::fromUtf8(f.label), this), row, 0);
            grid->addWidget(edit, row, 1);
        }
        input->setToolTip(tip);
        auto* helpButton = named(new QPushButton(QStringLiteral("?"), this), kFirstHelp + row);
        helpButton->setAutoDefault(false);
        helpButton->setToolTip(tip);
        const QString text = help[row];
        connect(helpButton, &QPushButton::clicked, this, [this, text] { showMessage(this, text); });
        grid->addWidget(helpButton, row, 2);
        ++row;
    }
    auto* fileRow = new QHBoxLayout;
    auto* path = named(new QLineEdit(this), kFilePath);
    path->setReadOnly(true);
    auto* choose = named(new QPushButton(QStringLiteral("..."), this), kChooseFile);
    auto* saveButton = named(new QPushButton(QStringLiteral("Save"), this), kSave);
    for (QPushButton* b : {choose, saveButton}) b->setAutoDefault(false);
    fileRow->addWidget(path, 1);
    fileRow->addWidget(choose);
    fileRow->addWidget(saveButton);
    layout->addLayout(grid);
    layout->addLayout(fileRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(choose, &QPushButton::clicked, this, &RawSettingDlg::pickFile);
    connect(saveButton, &QPushButton::clicked, this, &RawSettingDlg::save);

    chooseFile = [this] {
        return QFileDialog::getSaveFileName(this, QString(), QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
}

RawSettingDlg::~RawSettingDlg() = default;

bool RawSettingDlg::fileOpen() const { return editor_->isOpen(); }

void RawSettingDlg::pickFile() {
    const QString chosen = chooseFile ? chooseFile() : QString();
    if (chosen.isEmpty()) return;
    // An existing settings file is opened for appending: its records stay.
    if (editor_->chooseFile(chosen.toStdString())) control<QLineEdit>(this, kFilePath)->setText(chosen);
}

void RawSettingDlg::save() {
    if (!editor_->isOpen()) return;
    SignatureForm form;
    form.extension = textIn(this, kExtension);
    form.header = textIn(this, kHeader);
    form.footer = textIn(this, kFooter);
    form.sizeFieldOffset = numberIn(this, kSizeOffset);
    form.sizeFieldByteCount = numberIn(this, kSizeBytes);
    form.headerSize = numberIn(this, kHeaderSize);
    form.sizeIncludesHeader = control<QCheckBox>(this, kIncludesHeader)->isChecked();
    form.skipAmount = numberIn(this, kSkip);
    form.approximateSize = numberIn(this, kApprox);
    form.category = textIn(this, kCategory);
    editor_->appendRecord(form);
}

}  // namespace quarvell::ui
