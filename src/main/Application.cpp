#include "main/Application.h"

#include "app/Form1.h"
#include "app/ProgressWindow.h"
#include "common/Prompt.h"
#include "preview/Form2.h"
#include "setup/SettingsStore.h"

#include "shell/Skin.h"

#include <QApplication>

namespace markwell {

// The hand-over from "Create Template" to the preview window.
class Application::Ui : public CreateTemplateUi {
public:
    explicit Ui(Application& app) : m_app(app) {}
    void setBusy(bool busy) override { m_app.mainWindow().pointer().setBusy(busy); }
    void setPreviewPicture(const QImage& picture) override {
        m_app.previewWindow();
        m_picture = picture;
    }
    void setPreviewWorkbook(const QString& path) override { m_workbook = path; }
    void setPreviewModel(std::shared_ptr<const sheet::Workbook> model) override { m_model = std::move(model); }
    void showPreview() override {
        Form2& preview = m_app.previewWindow();
        // The sheet behind the picture lets the preview draw it sharply and read it out; without
        // it the picture is still shown, enlarged.
        std::optional<preview::ShownSheet> sheet;
        if (!m_picture.isNull()) {
            // The job's own model where it handed one over, else the saved file read again.
            sheet = m_model ? preview::shownSheetOf(std::move(m_model), nullptr)
                            : preview::readShownSheet(m_workbook, nullptr);
        }
        m_model.reset();
        preview.handOver(m_picture, m_workbook, std::move(sheet));
        preview.show();
    }
    void hideMainWindow() override { m_app.mainWindow().hide(); }
    // Another job has the work folder: the teacher is told once, then the job waits for it with
    // the hourglass while the windows stay responsive.
    void notice(const QString& text) override { m_app.m_deps.prompt.message(text); }

private:
    Application& m_app;
    QImage m_picture;
    QString m_workbook;
    std::shared_ptr<const sheet::Workbook> m_model;
};

Application::Application(Dependencies deps) : m_deps(std::move(deps)) {
    if (auto* gui = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        useClearFocusMarkers(*gui);
    }
    m_form1 = std::make_unique<Form1>(Form1::Dependencies{m_deps.prompt,
                                                          m_deps.store,
                                                          m_deps.hostFactory,
                                                          m_deps.drawOneToHundred,
                                                          {},
                                                          m_deps.endProgram,
                                                          m_deps.programFolder});
    m_form1->setCreateTemplateHandler([this] { createTemplate(); });
}

Application::~Application() = default;

bool Application::start() {
    if (!m_form1->Form_Load()) {
        return false;
    }
    m_form1->show();
    return true;
}

Form2& Application::previewWindow() {
    if (!m_form2) {
        Form2::Hooks hooks;
        hooks.showMainWindow = [this] { m_form1->show(); };
        hooks.saveLists = [this] { m_form1->saveLists(); };
        hooks.endProgram = m_deps.endProgram;
        hooks.programFolder = m_deps.programFolder;
        m_form2 = std::make_unique<Form2>(m_deps.prompt, hooks);
    }
    return *m_form2;
}

void Application::createTemplate() {
    CreateTemplateEnvironment env;
    env.hostFactory = m_deps.hostFactory;
    env.templateBytes = m_deps.templateBytes;
    env.workFolder = m_deps.workFolder;
    env.randomDigit = m_deps.randomDigit;
    // The result stays among the work files while the preview shows it, so that an interruption
    // deletes it too.
    env.keepResultRecorded = true;
    // The preview draws and reads out the sheet from the job's own model.
    env.handOverModel = true;
    Ui ui(*this);
    // A long job shows how far it has come, with Cancel; the window closes when the job ends.
    ProgressWindow window(m_form1.get());
    JobWatch watch(window, m_clock);
    window.setCancel([&watch] { watch.cancel(); });
    watch.watch(env);
    markwell::createTemplate(m_form1->currentSetup(), env, ui, m_deps.prompt, m_form1->mCreating);
}

} // namespace markwell
