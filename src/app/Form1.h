#pragma once

#include "setup/GradebookSetup.h"
#include "shell/Skin.h"
#include "workbook/host/SpreadsheetHost.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QTreeView;

namespace markwell {

class ErrorTrap;
class ListAutosave;
class ListHistory;
class Prompt;
class SettingsStore;
class StudentsModel;
class TestsModel;

// The main window: the class setup is typed and kept here for the whole run.
class Form1 : public QWidget {
    Q_OBJECT
public:
    struct Dependencies {
        Prompt& prompt;
        SettingsStore& store;
        HostFactory hostFactory;                  // empty: no host can be created
        std::function<int()> drawOneToHundred;    // empty: the system's generator
        std::function<void(const QUrl&)> openUrl; // empty: the desktop's browser
        std::function<void()> endProgram;         // empty: QCoreApplication::quit
        QString programFolder;                    // empty: the folder of the running program
    };

    explicit Form1(Dependencies deps, QWidget* parent = nullptr);
    ~Form1() override;

    // The load step. Returns false when the program has to end at once because no spreadsheet
    // host can be created (the message has been shown).
    bool Form_Load();
    // The close step's saving part: the tests list under "Tests", the students list under
    // "Students", each failure reported and then the next. The preview window calls it as well
    // when the program ends there.
    void saveLists();
    // The lists are also stored within a second of every change (the delay can be set); this
    // stores a change still waiting at once, as when the program is asked to end. Returns false
    // when the store's lock was held by another program.
    bool storeWaitingListChange();
    void setListStoreDelay(int milliseconds);

    // The setup as the template filling reads it: every student carries exactly as many points
    // fields as the test picker has lines.
    GradebookSetup currentSetup() const;

    // Set by "Create Template" while it runs, so a second click is turned away.
    bool mCreating = false;
    WindowPointer& pointer() { return m_pointer; }
    // What "Create Template" runs; without one the button does nothing.
    void setCreateTemplateHandler(std::function<void()> handler) { m_createTemplate = std::move(handler); }

    // The system clipboard, behind a seam so that tests can feed and read it. Paste only reads it;
    // only the copy key writes it.
    struct Clipboard {
        std::function<QString()> read;
        std::function<void(const QString&)> write;
    };
    void setClipboard(Clipboard clipboard) { m_clipboard = std::move(clipboard); }

    // True once the program has ended from this window (host missing, or closed).
    bool programEnded() const { return m_ended; }

    const TestsModel& testsModel() const { return *m_tests; }
    const StudentsModel& studentsModel() const { return *m_students; }

    void RefreshTestPicker();
    void RebuildStudentColumns();

    void PushButton1_Click(); // "Add" (test)
    void PushButton2_Click(); // "Delete Selected" (tests)
    void PushButton3_Click(); // "Add Student"
    void PushButton4_Click(); // "Delete Selected" (students)
    void PushButton5_Click(); // "Add Test Points"
    void PushButton6_Click(); // "Create Template"
    void PushButton7_Click(); // "New"
    void PushButton8_Click(); // "Help"
    void PushButton9_Click(); // "Load Sample/Example Data"
    void TabControl1_Click(int index);

    // Bringing a class in and out. Paste (the paste key on a list) and drop (a .csv or .txt file
    // dropped on a list) read rows as markwell-cli reads its rosters and add them after one
    // question; copy (the copy key on a list) puts the selected rows, or all rows when none is
    // selected, on the clipboard as tab-separated text with the captions first.
    enum class ListKind { Tests, Students };
    void PasteRows(ListKind list);
    void DropFile(ListKind list, const QString& path);
    void CopyRows(ListKind list);

    // Every change to the lists can be taken back and done again (Ctrl+Z; Ctrl+Shift+Z or
    // Ctrl+Y), including the General Options the sample data overwrote.
    void UndoListChange();
    void RedoListChange();
    // The selected rows: removed (a test with its points), or copied and then removed.
    void DeleteRows(ListKind list);
    void CutRows(ListKind list);
    // The list's context menu: Undo, Redo, Cut, Copy, Paste, Delete, Select All. The caller owns it.
    QMenu* makeListMenu(ListKind list);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildLayout();
    void wireUp();
    void Form_QueryUnload();
    void saveOption(const QString& key, const QString& text);
    void saveQuietly(const QString& key, const QString& value);
    void restoreTests(ErrorTrap& trap, QStringList& dropped);
    void restoreStudents(ErrorTrap& trap, QStringList& dropped);
    void selectStoredTab(const QString& stored);
    void endProgram();
    void runPlainRule(QWidget* element, QEvent* event);
    bool handleListEvent(QObject* watched, QEvent* event);
    void setUpListSafety();
    void afterListChange(bool testsChanged, bool undoneOrRedone);
    void commitCellEdit(ListKind list, const QModelIndex& index, const std::function<void()>& store);
    // Runs a change to the lists as one step of the undo history.
    void changeLists(const std::function<void()>& change, bool withOptions = false);
    static QString location(const char16_t* routine);
    void takeRows(ListKind list, QByteArrayView bytes, const QString& source, ErrorTrap& trap);
    QTreeView* listView(ListKind list) const;
    static qsizetype selectedRow(const QTreeView& view);

    Prompt& m_prompt;
    SettingsStore& m_store;
    HostFactory m_hostFactory;
    std::function<int()> m_draw;
    std::function<void(const QUrl&)> m_openUrl;
    std::function<void()> m_endProgram;
    QString m_programFolder;
    std::function<void()> m_createTemplate;
    Clipboard m_clipboard;
    WindowPointer m_pointer;
    bool m_ended = false;
    QString m_lastStoreFailure;
    QList<QWidget*> m_plainElements;

    TestsModel* m_tests = nullptr;
    StudentsModel* m_students = nullptr;
    std::unique_ptr<ListHistory> m_history;
    ListAutosave* m_autosave = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;

    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtName = nullptr;
    QLineEdit* txtTeachName = nullptr;
    QLineEdit* txtProject = nullptr;
    QLineEdit* txtYSQ = nullptr;
    QWidget* TabControl1Host = nullptr;
    QTabBar* TabControl1 = nullptr;
    QFrame* Frame2 = nullptr;
    QFrame* Frame5 = nullptr;
    QLineEdit* txtTest = nullptr;
    QLineEdit* txtPoints = nullptr;
    QTreeView* ListView1 = nullptr;
    QLineEdit* txtStName = nullptr;
    QLineEdit* txtStID = nullptr;
    QComboBox* Combo1 = nullptr;
    QLineEdit* txtStPoints = nullptr;
    QTreeView* ListView2 = nullptr;
};

// Lengths in twips to pixels at 15 twips a pixel, to the nearest (ties to even).
int twipsToPixels(int twips);

} // namespace markwell
