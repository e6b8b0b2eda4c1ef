#include "ui/PageBanner.h"

#include <QPainter>

namespace quarvell::ui {

PageBanner::PageBanner(const QString& heading, QWidget* parent)
    : QWidget(parent), heading_(heading), background_(":/icons/banner.png"), logo_(":/icons/quarvell.png") {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize PageBanner::sizeHint() const {
    const int line = fontMetrics().height();
    return {420, qMax(logo_.height() + 12, 3 * line + 12)};
}

void PageBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(rect(), background_);
    const int margin = 8;
    const int logoTop = (height() - logo_.height()) / 2;
    p.drawPixmap(margin, logoTop, logo_);

    const int textLeft = margin * 2 + logo_.width();
    QFont title = font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.3);
    p.setPen(Qt::white);
    p.setFont(title);
    const QRect area(textLeft, margin, width() - textLeft - margin, height() - 2 * margin);
    p.drawText(area, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Quarvell Ostrelle"));
    p.setFont(font());
    p.drawText(area, Qt::AlignLeft | Qt::AlignBottom, heading_);
}

}  // namespace quarvell::ui
