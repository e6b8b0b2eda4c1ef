#include "ui/CQuarvellAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "common/UiSink.h"
#include "ui/AppLinks.h"
#include "ui/PageServices.h"

namespace quarvell::ui {

CQuarvellAboutDlg::CQuarvellAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QString::fromUtf8(kCaption));

    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(":/icons/quarvell.png"));
    logo->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("<b>Quarvell Ostrelle(Full)</b><br>Version 1.0"), this);
    auto* about = new QLabel(
        QStringLiteral("Read-only recovery of files from HFS+, NTFS, FAT, exFAT and ext2/ext3 volumes, "
                       "and raw recovery by file signatures."),
        this);
    about->setWordWrap(true);
    const QString webPage = AppLinks::configured().webPage;
    auto* web = new QLabel(webPage.isEmpty() ? QStringLiteral("Web: not configured")
                                             : QStringLiteral("Web: <a href=\"%1\">%1</a>").arg(webPage.toHtmlEscaped()),
                           this);
    connect(web, &QLabel::linkActivated, this,
            [](const QString& link) { PageServices::current().openUrl(QUrl(link)); });

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(about);
    texts->addWidget(web);
    auto* top = new QHBoxLayout;
    top->addWidget(logo);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

}  // namespace quarvell::ui
