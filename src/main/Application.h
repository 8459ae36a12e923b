#pragma once

#include "gradebook/CreateTemplate.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace markwell {

class Form1;
namespace preview {
class Form2;
}
using preview::Form2;
class Prompt;
class SettingsStore;

// The program's two windows and the "Create Template" command that joins them.
class Application {
public:
    struct Dependencies {
        Prompt& prompt;
        SettingsStore& store;
        HostFactory hostFactory;
        std::function<QByteArray()> templateBytes;
        std::function<QString()> workFolder;   // empty: the program's work folder rules
        std::function<int()> randomDigit;      // empty: the system's generator
        std::function<void()> endProgram;      // empty: QCoreApplication::quit
        std::function<int()> drawOneToHundred; // empty: the system's generator
        QString programFolder;                 // empty: the folder of the running program
    };

    explicit Application(Dependencies deps);
    ~Application();

    // Runs the main window's load step and shows it. False when the program has to end at once.
    bool start();

    Form1& mainWindow() { return *m_form1; }
    // The preview window, loaded on first use.
    Form2& previewWindow();
    bool previewLoaded() const { return m_form2 != nullptr; }
    // The clock that tells a long job from a short one (milliseconds); empty: the system's.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

private:
    class Ui;
    void createTemplate();

    Dependencies m_deps;
    std::unique_ptr<Form1> m_form1;
    std::unique_ptr<Form2> m_form2;
    std::function<qint64()> m_clock;
};

} // namespace markwell
