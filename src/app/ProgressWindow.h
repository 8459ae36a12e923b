#pragma once

#include "gradebook/JobProgress.h"

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace markwell {

// The small window of a long "Create Template" job: what the job is doing, how far it has come,
// and Cancel. While it shows, the window that started the job takes no input, so nothing can
// start a second job or change the lists under the running one. Closing it is Cancel too.
class ProgressWindow : public QDialog, public ProgressView {
    Q_OBJECT
public:
    // `owner`: the window that started the job.
    explicit ProgressWindow(QWidget* owner);
    // What Cancel does: asks the job to stop.
    void setCancel(std::function<void()> onCancel) { m_onCancel = std::move(onCancel); }
    ~ProgressWindow() override;

    void showProgress(JobPhase phase, qint64 done, qint64 total) override;
    void letEventsRun() override;
    void closeProgress() override;

    void reject() override;

private:
    QWidget* m_owner;
    std::function<void()> m_onCancel;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};

} // namespace markwell
