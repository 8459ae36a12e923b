#include "common/Platform.h"
#include "setup/ListCodec.h"

#include "MainWindowFixture.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::MainWindow;

namespace {

class ListSafety : public MainWindow {
protected:
    QString clipboard;

    void startShown() {
        ASSERT_TRUE(start());
        form->setListStoreDelay(20);
        form->setClipboard({[this] { return clipboard; }, [this](const QString& text) { clipboard = text; }});
        form->show();
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
        for (const auto& [name, id, points] : {std::tuple{u"Ann"_s, u"1"_s, u"18"_s}, {u"Bo"_s, u"2"_s, u"41"_s}}) {
            edit(u"txtStName"_s)->setText(name);
            edit(u"txtStID"_s)->setText(id);
            edit(u"txtStPoints"_s)->setText(points);
            picker()->setCurrentIndex(0);
            click(u"PushButton3"_s);
        }
    }
};

} // namespace

TEST_F(ListSafety, EditPasteAndDeleteAreStoredWhileTheWindowStaysOpen) {
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
}

TEST_F(ListSafety, AChangeWaitingToBeStoredIsStoredWhenTheProgramIsAskedToEnd) {
    startShown();
    form->setListStoreDelay(3600 * 1000);
    addTest(u"Quiz"_s, u"20"_s);
    QTest::qWait(50);
    EXPECT_EQ(stored(u"Tests"_s), u"<absent>"_s);
    EXPECT_TRUE(form->storeWaitingListChange());
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz^20"_s);
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
        {"delete a test",
         [this] {
             select(u"ListView1"_s, 0);
             click(u"PushButton2"_s);
         }},
        {"add a student",
         [this] {
             edit(u"txtStPoints"_s)->clear();
             click(u"PushButton3"_s);
         }},
        {"add test points",
         [this] {
             edit(u"txtStPoints"_s)->setText(u"33"_s);
             picker()->setCurrentIndex(1);
             click(u"PushButton5"_s);
         }},
        {"delete a student",
         [this] {
             select(u"ListView2"_s, 0);
             click(u"PushButton4"_s);
         }},
        {"paste",
         [this] {
             clipboard = u"Exam\t80\n"_s;
             prompt.answerNext(Prompt::Answer::Yes);
             form->PasteRows(Form1::ListKind::Tests);
         }},
        {"sample data", [this] { click(u"PushButton9"_s); }},
        {"edit in place", [this] { editCell(1, 0, 0, u"Anne"_s, true); }},
        {"delete from the menu",
         [this] {
             list(1)->selectAll();
             std::unique_ptr<QMenu> menu(form->makeListMenu(Form1::ListKind::Students));
             for (QAction* a : menu->actions()) {
                 if (a->text() == u"&Delete"_s) {
                     a->trigger();
                 }
             }
         }},
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
    EXPECT_EQ(studentColumns(), (QStringList{u"Student Name"_s, u"Student ID"_s, u"Quiz"_s, u"Essay 1"_s}));
    EXPECT_EQ(pickerLines(), (QStringList{u"Quiz"_s, u"Essay 1"_s}));
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
