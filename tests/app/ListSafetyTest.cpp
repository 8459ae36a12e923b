#include "app/Form1.h"
#include "common/Platform.h"
#include "setup/SettingsStore.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include "ScriptedPrompt.h"
#include "StubHost.h"
#include "TempDir.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// The main window over a store of its own, every change stored 20 ms after it is made.
class ListSafety : public ::testing::Test {
protected:
    test::TempDir config;
    test::ScriptedPrompt prompt;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Form1> form;
    QString clipboard;

    void startShown() {
        store = std::make_unique<SettingsStore>(config.path());
        form = std::make_unique<Form1>(Form1::Dependencies{prompt, *store, test::StubHost::factory(), [] { return 1; },
                                                           [](const QUrl&) {}, [] {}, config.path()});
        ASSERT_TRUE(form->Form_Load());
        form->setListStoreDelay(20);
        form->setClipboard({[this] { return clipboard; }, [this](const QString& text) { clipboard = text; }});
        form->show();
    }
    // What a fresh start would read.
    QString stored(const QString& key) const { return SettingsStore(config.path()).read(key, u"<absent>"_s); }
    template <class T> T* get(const QString& name) const {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QLineEdit* edit(const QString& name) const { return get<QLineEdit>(name); }
    void click(const QString& button) const { get<QPushButton>(button)->click(); }
    QTabBar* tabs() const { return get<QTabBar>(u"TabControl1"_s); }
    QComboBox* picker() const { return get<QComboBox>(u"Combo1"_s); }
    void select(const QString& list, int row) const {
        auto* view = get<QTreeView>(list);
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void addTest(const QString& name, const QString& points) {
        edit(u"txtTest"_s)->setText(name);
        edit(u"txtPoints"_s)->setText(points);
        click(u"PushButton1"_s);
    }
    QTreeView* list(int tab) {
        tabs()->setCurrentIndex(tab);
        return get<QTreeView>(tab == 0 ? u"ListView1"_s : u"ListView2"_s);
    }
    // Opens the cell's editor by F2 or a double click, types over the text and presses Enter.
    void editCell(int tab, int row, int column, const QString& text, bool doubleClick = false) {
        QTreeView* view = list(tab);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // editors closed before
        const QModelIndex cell = view->model()->index(row, column);
        view->setCurrentIndex(cell);
        if (doubleClick) {
            // As the system delivers it: the first click, then the double click.
            const QPoint at = view->visualRect(cell).center();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::keyClick(view, Qt::Key_F2);
        }
        auto* editor = view->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor hands its text over once the key is through
    }
    // What a start after a kill would read, once the store has caught up (or not).
    void expectStoredSoon(const QString& key, const QString& expected) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return stored(key) == expected; }, 2000))
            << key.toStdString() << ": " << stored(key).toStdString();
    }
    void trigger(const QString& action) { get<QAction>(action)->trigger(); }
    void selectAndClick(const QString& list, int row, const QString& button) {
        select(list, row);
        click(button);
    }
    void addStudent(const QString& name, const QString& id, const QString& points, int test) {
        edit(u"txtStName"_s)->setText(name);
        edit(u"txtStID"_s)->setText(id);
        edit(u"txtStPoints"_s)->setText(points);
        picker()->setCurrentIndex(test);
        click(u"PushButton3"_s);
    }
    void addPoints(const QString& points, int test) {
        edit(u"txtStPoints"_s)->setText(points);
        picker()->setCurrentIndex(test);
        click(u"PushButton5"_s);
    }
    void pasteAnswered(Form1::ListKind list, const QString& text) {
        clipboard = text;
        prompt.answerNext(Prompt::Answer::Yes);
        form->PasteRows(list);
    }
    void menuItem(Form1::ListKind list, const QString& text, bool allRows) {
        if (allRows) {
            get<QTreeView>(list == Form1::ListKind::Tests ? u"ListView1"_s : u"ListView2"_s)->selectAll();
        }
        const std::unique_ptr<QMenu> menu(form->makeListMenu(list));
        for (QAction* a : menu->actions()) {
            if (a->text() == text) {
                a->trigger();
            }
        }
    }
    struct Snapshot {
        std::vector<TestRow> tests;
        std::vector<StudentRow> students;
        GeneralOptions options;
        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };
    Snapshot now() { return {form->testsModel().rows(), form->studentsModel().rows(), form->currentSetup().options}; }
    void classOfTwo() {
        addTest(u"Quiz"_s, u"20"_s);
        addTest(u"Essay"_s, u"50"_s);
        tabs()->setCurrentIndex(1);
        addStudent(u"Ann"_s, u"1"_s, u"18"_s, 0);
        addStudent(u"Bo"_s, u"2"_s, u"41"_s, 0);
    }
};

} // namespace

TEST_F(ListSafety, EditPasteAndDeleteAreStoredWhileTheWindowStaysOpenAndAWaitingChangeAtTheEnd) {
    startShown();
    classOfTwo();
    expectStoredSoon(u"Students"_s, u"Ann^1^18^|Bo^2^41^"_s);

    editCell(1, 1, 3, u"44"_s);
    expectStoredSoon(u"Students"_s, u"Ann^1^18^|Bo^2^41^44"_s);

    clipboard = u"Cy\t3\t9\t10\n"_s;
    prompt.answerNext(Prompt::Answer::Yes);
    QTest::keyClick(list(1), Qt::Key_V, Qt::ControlModifier);
    expectStoredSoon(u"Students"_s, u"Ann^1^18^|Bo^2^41^44|Cy^3^9^10"_s);

    select(u"ListView1"_s, 0);
    list(0);
    click(u"PushButton2"_s);
    expectStoredSoon(u"Tests"_s, u"Essay^50"_s);
    // The picker still has both tests until the next tab change, and so has each student.
    EXPECT_EQ(stored(u"Students"_s), u"Ann^1^^|Bo^2^44^|Cy^3^10^"_s);
    EXPECT_FALSE(form->programEnded());

    // What the program does when the system asks it to end: a change still waiting is stored.
    form->setListStoreDelay(3600 * 1000);
    addTest(u"Quiz"_s, u"20"_s);
    QTest::qWait(50);
    EXPECT_EQ(stored(u"Tests"_s), u"Essay^50"_s);
    EXPECT_TRUE(form->storeWaitingListChange());
    EXPECT_EQ(stored(u"Tests"_s), u"Essay^50|Quiz^20"_s);
}

TEST_F(ListSafety, EveryKindOfChangeIsUndoneAndRedone) {
    startShown();
    edit(u"txtName"_s)->setText(u"Hill School"_s);
    classOfTwo();
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"add a test", [this] { addTest(u"Final"_s, u"100"_s); }},
        {"delete a test", [this] { selectAndClick(u"ListView1"_s, 0, u"PushButton2"_s); }},
        {"add a student", [this] { addStudent(u"Cy"_s, u"3"_s, QString(), -1); }},
        {"add test points", [this] { addPoints(u"33"_s, 1); }},
        {"delete a student", [this] { selectAndClick(u"ListView2"_s, 0, u"PushButton4"_s); }},
        {"paste", [this] { pasteAnswered(Form1::ListKind::Tests, u"Exam\t80\n"_s); }},
        {"sample data", [this] { click(u"PushButton9"_s); }},
        {"edit in place", [this] { editCell(1, 0, 0, u"Anne"_s, true); }},
        {"delete from the menu", [this] { menuItem(Form1::ListKind::Students, u"&Delete"_s, true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Snapshot before = now();
        c.change();
        const Snapshot after = now();
        ASSERT_NE(before, after);
        trigger(u"UndoListChange"_s);
        EXPECT_EQ(now(), before);
        trigger(u"RedoListChange"_s);
        EXPECT_EQ(now(), after);
        trigger(u"UndoListChange"_s);
    }
    expectStoredSoon(u"txtName"_s, u"Hill School"_s);
    expectStoredSoon(u"Students"_s, u"Ann^1^18^|Bo^2^41^"_s);
    EXPECT_TRUE(prompt.messageTexts().isEmpty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
}

TEST_F(ListSafety, EachKindOfCellIsEditedInPlace) {
    startShown();
    classOfTwo();
    const struct {
        int tab, row, column;
        QString typed, shown;
        bool doubleClick = false;
    } cases[] = {
        {0, 1, 0, u"Essay 1"_s, u"Essay 1"_s},
        {0, 1, 1, u"60"_s, u"60"_s},
        {1, 0, 0, u"Ann Lee"_s, u"Ann Lee"_s, true},
        {1, 0, 1, u"S-1"_s, u"S-1"_s},
        {1, 1, 2, u"4|0"_s, u"40"_s},
        {1, 1, 1, u"^"_s, u"2"_s},
    };
    for (const auto& c : cases) {
        editCell(c.tab, c.row, c.column, c.typed, c.doubleClick);
        EXPECT_EQ(list(c.tab)->model()->index(c.row, c.column).data().toString(), c.shown) << c.typed.toStdString();
    }
    // The renamed test renames its column and its line in the picker.
    EXPECT_EQ(form->studentsModel().headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), u"Essay 1"_s);
    EXPECT_EQ(picker()->itemText(1), u"Essay 1"_s);
    expectStoredSoon(u"Students"_s, u"Ann Lee^S-1^18^|Bo^2^40^"_s);
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz^20|Essay 1^60"_s);
}

TEST_F(ListSafety, TypingNeverWaitsForAnotherProgramsLockAndIsStoredOnceItIsFree) {
    startShown();
    {
        QString why;
        QDir().mkpath(config.file(u"Kestrelware"_s));
        const auto held = os::FileLock::acquire(config.file(u"Kestrelware/settings.ini.lock"_s), 0, &why);
        ASSERT_TRUE(held.held()) << why.toStdString();
        addTest(u"Quiz"_s, u"20"_s);
        QElapsedTimer typing;
        typing.start();
        QTest::keyClicks(edit(u"txtName"_s), u"Hill"_s);
        EXPECT_LT(typing.elapsed(), 1000);
        QTest::qWait(100);
        EXPECT_EQ(stored(u"txtName"_s), u"<absent>"_s);
        EXPECT_EQ(stored(u"Tests"_s), u"<absent>"_s);
    }
    expectStoredSoon(u"txtName"_s, u"Hill"_s);
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz^20"_s);
    EXPECT_TRUE(prompt.messageTexts().isEmpty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
}
