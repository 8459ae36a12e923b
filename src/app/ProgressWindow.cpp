#include "app/ProgressWindow.h"

#include "common/ProductName.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

// A window of its own, not a child of the owner: disabling the owner would disable it too.
ProgressWindow::ProgressWindow(QWidget* owner)
    : m_owner(owner), m_text(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_cancel(new QPushButton(u"Cancel"_s, this)) {
    setObjectName(u"ProgressWindow"_s);
    setWindowTitle(u"Create Template - %1"_s.arg(QString::fromUtf16(kProductName)));
    setWindowModality(Qt::ApplicationModal);
    m_text->setObjectName(u"ProgressText"_s);
    m_text->setMinimumWidth(320);
    m_bar->setObjectName(u"ProgressBar"_s);
    m_cancel->setObjectName(u"CancelButton"_s);
    m_cancel->setAccessibleName(u"Cancel Create Template"_s);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_cancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProgressWindow::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(buttons);
}

ProgressWindow::~ProgressWindow() {
    closeProgress();
}

void ProgressWindow::showProgress(JobPhase phase, qint64 done, qint64 total) {
    if (m_cancel->isEnabled()) {
        m_text->setText(progressText(phaseText(phase), done, total));
    }
    // Without a count the bar only says that the job is alive. The bar counts in ints: a count is
    // shown in thousandths of its total.
    m_bar->setRange(0, total > 0 ? 1000 : 0);
    m_bar->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
    if (!isVisible()) {
        if (m_owner != nullptr) {
            m_owner->setEnabled(false);
        }
        show();
    }
}

void ProgressWindow::letEventsRun() {
    QCoreApplication::processEvents();
}

void ProgressWindow::closeProgress() {
    hide();
    if (m_owner != nullptr) {
        m_owner->setEnabled(true);
    }
}

void ProgressWindow::reject() {
    // The job stops at its next step and closes this window itself.
    if (m_cancel->isEnabled()) {
        m_cancel->setEnabled(false);
        m_text->setText(u"Stopping..."_s);
        if (m_onCancel) {
            m_onCancel();
        }
    }
}

} // namespace markwell
