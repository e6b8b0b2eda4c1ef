#pragma once
// A walk through the wizard's pages that saves a picture of each, for the documentation. It runs
// only when QUARVELL_SCREENSHOT_DIR names the folder for the pictures (scripts/screenshots.sh
// sets it); boxes are answered "Ok" on their own during the walk, and the program ends after it.
#include <QDir>
#include <QObject>
#include <functional>
#include <vector>

class QWidget;

namespace quarvell::ui {

class WizardPage;

class ScreenshotTour final : public QObject {
public:
    static void startIfAsked(WizardPage& firstPage);

private:
    ScreenshotTour(WizardPage& firstPage, const QString& folder);
    void runNext();
    // The advanced-options and raw recovery pages: their steps, inserted before the program ends.
    std::vector<std::function<void()>> advancedAndRawSteps();
    // Repeats the current step until `ready` holds (at most about a minute).
    bool waitFor(const std::function<bool()>& ready);
    void save(QWidget* window, const QString& name);
    static WizardPage* visiblePage();
    static void click(int id);

    QDir folder_;
    WizardPage& firstPage_;
    std::vector<std::function<void()>> steps_;
    size_t nextStep_ = 0;
    int waits_ = 0;
};

}  // namespace quarvell::ui
