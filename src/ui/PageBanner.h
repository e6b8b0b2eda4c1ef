#pragma once
// The strip across the top of every page: the program's icon and name over a gradient, and a
// line saying what the page is for.
#include <QPixmap>
#include <QWidget>

namespace quarvell::ui {

class PageBanner final : public QWidget {
public:
    PageBanner(const QString& heading, QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString heading_;
    QPixmap background_;
    QPixmap logo_;
};

}  // namespace quarvell::ui
