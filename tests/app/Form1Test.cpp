#include "app/Form1.h"
#include "app/HelpMessage.h"
#include "setup/SettingsStore.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"
#include "shell/AppTitle.h"

#include "CursorFile.h"
#include "ScriptedPrompt.h"
#include "StubHost.h"
#include "TempDir.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::ScriptedPrompt;
using markwell::test::StubHost;
using markwell::test::TempDir;

namespace {

const QString kLoc = u"in Ledgerly2021/08/31.Form1."_s;

class MainWindow : public ::testing::Test {
protected:
    TempDir config;
    TempDir programDir;
    ScriptedPrompt prompt;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Form1> form;
    HostFactory factory = StubHost::factory();
    int draw = 1;
    QList<QUrl> opened;
    int ended = 0;

    void writeStore(const QByteArray& body) {
        QDir().mkpath(config.file(u"Kestrelware"_s));
        config.write(u"Kestrelware/settings.ini"_s, "[Markwell Software]\n" + body);
    }
    // Reads the stored value as a fresh start would see it.
    QString stored(const QString& key, const QString& fallback = u"<absent>"_s) const {
        return SettingsStore(config.path()).read(key, fallback);
    }

    bool start() {
        form.reset();
        store = std::make_unique<SettingsStore>(config.path());
        form = std::make_unique<Form1>(Form1::Dependencies{prompt, *store, factory, [this] { return draw; },
                                                           [this](const QUrl& u) { opened << u; }, [this] { ++ended; },
                                                           programDir.path()});
        return form->Form_Load();
    }
    void restart() {
        form->close();
        ASSERT_TRUE(start());
    }

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
    QStringList studentColumns() const {
        QStringList out;
        const auto& m = form->studentsModel();
        for (int c = 0; c < m.columnCount(); ++c) {
            out << m.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        }
        return out;
    }
    QStringList pickerLines() const {
        QStringList out;
        for (int i = 0; i < picker()->count(); ++i) {
            out << picker()->itemText(i);
        }
        return out;
    }
};

} // namespace

TEST_F(MainWindow, FirstStartWithAnEmptyStore) {
    ASSERT_TRUE(start());
    EXPECT_TRUE(prompt.shown().empty());
    for (const auto& name : {u"txtName"_s, u"txtTeachName"_s, u"txtProject"_s, u"txtYSQ"_s}) {
        EXPECT_TRUE(edit(name)->text().isEmpty());
    }
    EXPECT_EQ(form->testsModel().size(), 0);
    EXPECT_EQ(form->studentsModel().size(), 0);
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(picker()->count(), 0);
    EXPECT_EQ(studentColumns(), (QStringList{u"Student Name"_s, u"Student ID"_s}));
    EXPECT_EQ(form->windowTitle(), u"Markwell Software"_s);
    EXPECT_EQ(applicationTitle(), u"Markwell"_s);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(MainWindow, ListsAreSavedOnCloseAndComeBack) {
    ASSERT_TRUE(start());
    addTest(u"Quiz 1"_s, u"20"_s);
    addTest(u"Final"_s, u"100"_s);
    tabs()->setCurrentIndex(1);
    edit(u"txtStName"_s)->setText(u"Ann Lee"_s);
    edit(u"txtStID"_s)->setText(u"S-1"_s);
    picker()->setCurrentIndex(0);
    edit(u"txtStPoints"_s)->setText(u"18"_s);
    click(u"PushButton3"_s);
    picker()->setCurrentIndex(1);
    edit(u"txtStPoints"_s)->setText(u"91"_s);
    click(u"PushButton5"_s);
    click(u"PushButton7"_s);
    edit(u"txtStName"_s)->setText(u"Bo Chan"_s);
    edit(u"txtStID"_s)->setText(u"S-2"_s);
    click(u"PushButton3"_s);
    EXPECT_EQ(stored(u"Tests"_s), u"<absent>"_s); // lists wait for the close step

    form->close();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz 1^20|Final^100"_s);
    EXPECT_EQ(stored(u"Students"_s), u"Ann Lee^S-1^18^91|Bo Chan^S-2^^"_s);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();

    ASSERT_TRUE(start());
    EXPECT_EQ(tabs()->currentIndex(), 1);
    EXPECT_EQ(pickerLines(), (QStringList{u"Quiz 1"_s, u"Final"_s}));
    EXPECT_EQ(picker()->currentIndex(), -1);
    EXPECT_EQ(studentColumns(), (QStringList{u"Student Name"_s, u"Student ID"_s, u"Quiz 1"_s, u"Final"_s}));
    const GradebookSetup setup = form->currentSetup();
    ASSERT_EQ(setup.students.size(), 2u);
    EXPECT_EQ(setup.students[0], (StudentRow{u"Ann Lee"_s, u"S-1"_s, {u"18"_s, u"91"_s}}));
    EXPECT_EQ(setup.students[1], (StudentRow{u"Bo Chan"_s, u"S-2"_s, {u""_s, u""_s}}));
    // Starting twice without edits changes nothing.
    restart();
    EXPECT_EQ(stored(u"Students"_s), u"Ann Lee^S-1^18^91|Bo Chan^S-2^^"_s);
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz 1^20|Final^100"_s);
}

TEST_F(MainWindow, SurplusStoredFieldsAreToldInOneReportForTheWholeRestore) {
    writeStore("Tests=A^10|B^20|C^30\nStudents=Ann^1^a^b^c^d^e|Bo^2^f^g^h^i|Cy^3^^^^^\nTabSel=0\n");
    ASSERT_TRUE(start());
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 1) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].contains(u"\r\n"_s + kLoc + u"Form_Load at line 132\r\r"_s)) << texts[0].toStdString();
    EXPECT_EQ(prompt.shown()[0].caption, u"Application Error"_s);
    // Each field that held something is named; the empty ones of Cy are not.
    for (const auto& held : {u"(\"d\")"_s, u"(\"e\")"_s, u"(\"i\")"_s}) {
        EXPECT_TRUE(texts[0].contains(held)) << held.toStdString();
    }
    EXPECT_FALSE(texts[0].contains(u"\"Cy\""_s));
    form->close();
    EXPECT_EQ(stored(u"Students"_s), u"Ann^1^a^b^c|Bo^2^f^g^h|Cy^3^^^"_s);

    // Surplus fields in both lists still make one report, under the tests list's label.
    form.reset();
    prompt.clear();
    writeStore("Tests=A^10^x\nStudents=Ann^1^a^b\n");
    ASSERT_TRUE(start());
    ASSERT_EQ(prompt.messageTexts().size(), 1) << prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"Form_Load at line 126"_s));
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"(\"x\")"_s));
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"(\"b\")"_s));
}

TEST_F(MainWindow, ADeletedTestRestoresWithoutAnyBox) {
    writeStore("Tests=A^1|B^2|C^3\nStudents=Ann^1^a^b^c|Bo^2^d^e^f\nTabSel=0\n");
    ASSERT_TRUE(start());
    // Delete test B and close without changing the tab: the picker still counts three tests.
    select(u"ListView1"_s, 1);
    click(u"PushButton2"_s);
    form->close();
    EXPECT_EQ(stored(u"Tests"_s), u"A^1|C^3"_s);
    EXPECT_EQ(stored(u"Students"_s), u"Ann^1^a^c^|Bo^2^d^f^"_s);

    ASSERT_TRUE(start());
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    const GradebookSetup setup = form->currentSetup();
    ASSERT_EQ(setup.students.size(), 2u);
    EXPECT_EQ(setup.students[0], (StudentRow{u"Ann"_s, u"1"_s, {u"a"_s, u"c"_s}}));
    EXPECT_EQ(setup.students[1], (StudentRow{u"Bo"_s, u"2"_s, {u"d"_s, u"f"_s}}));
    form->close();
    EXPECT_EQ(stored(u"Students"_s), u"Ann^1^a^c|Bo^2^d^f"_s);
}

TEST_F(MainWindow, DeleteSelectedStudentAfterTheColumnsWereRebuilt) {
    writeStore("Tests=A^1\nStudents=Ann^1^a|Bo^2^b|Cy^3^c\nTabSel=1\n");
    ASSERT_TRUE(start());
    auto* students = get<QTreeView>(u"ListView2"_s);
    select(u"ListView2"_s, 1);
    // Add a test and come back: the students list gains a column.
    tabs()->setCurrentIndex(0);
    addTest(u"B"_s, u"2"_s);
    tabs()->setCurrentIndex(1);
    ASSERT_EQ(studentColumns().size(), 4);
    EXPECT_TRUE(students->selectionModel()->isRowSelected(1, {}));
    click(u"PushButton4"_s);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    ASSERT_EQ(form->studentsModel().size(), 2);
    EXPECT_EQ(form->studentsModel().rows()[0].name, u"Ann"_s);
    EXPECT_EQ(form->studentsModel().rows()[1].name, u"Cy"_s);

    // A selection of part of a row (cells the view added later) still names that row.
    students->selectionModel()->select(form->studentsModel().index(1, 3), QItemSelectionModel::ClearAndSelect);
    click(u"PushButton4"_s);
    ASSERT_EQ(form->studentsModel().size(), 1);
    EXPECT_EQ(form->studentsModel().rows()[0].name, u"Ann"_s);
}

TEST_F(MainWindow, SavedStudentsCarryThePickersCountNotTheTestsCount) {
    writeStore("Tests=A^1|B^2\nStudents=Ann^1^x^y\n");
    ASSERT_TRUE(start());
    addTest(u"C"_s, u"3"_s); // the picker still holds two lines
    EXPECT_EQ(pickerLines(), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(form->currentSetup().pointsCount, 2);
    form->close();
    EXPECT_EQ(stored(u"Students"_s), u"Ann^1^x^y"_s);
    EXPECT_EQ(stored(u"Tests"_s), u"A^1|B^2|C^3"_s);
}

TEST_F(MainWindow, OptionFieldsAreSavedOnEveryChange) {
    ASSERT_TRUE(start());
    QLineEdit* name = edit(u"txtName"_s);
    name->setFocus();
    QStringList seen;
    for (const char c : {'a', 'b', 'c'}) {
        QTest::keyClick(name, c);
        seen << stored(u"txtName"_s);
    }
    EXPECT_EQ(seen, (QStringList{u"a"_s, u"ab"_s, u"abc"_s}));
    edit(u"txtYSQ"_s)->setText(u" 2016 / 1 ; #x = \"y\" "_s);
    EXPECT_EQ(stored(u"txtYSQ"_s), u" 2016 / 1 ; #x = \"y\" "_s);
    // Not the close step: the options are already there at the next start.
    form.reset();
    ASSERT_TRUE(start());
    EXPECT_EQ(edit(u"txtName"_s)->text(), u"abc"_s);
    EXPECT_EQ(edit(u"txtYSQ"_s)->text(), u" 2016 / 1 ; #x = \"y\" "_s);
}

TEST_F(MainWindow, TabIsSavedOnEveryChangeAndRestored) {
    ASSERT_TRUE(start());
    tabs()->setCurrentIndex(1);
    EXPECT_EQ(stored(u"TabSel"_s), u"1"_s);
    EXPECT_TRUE(get<QWidget>(u"Frame5"_s)->isVisibleTo(form.get()));
    tabs()->setCurrentIndex(0);
    EXPECT_EQ(stored(u"TabSel"_s), u"0"_s);
    tabs()->setCurrentIndex(1);
    restart();
    EXPECT_EQ(tabs()->currentIndex(), 1);
    EXPECT_FALSE(get<QWidget>(u"Frame2"_s)->isVisibleTo(form.get()));

    // A stored tab that names no tab is reported and the "Tests" tab stays.
    for (const QByteArray& bad : {QByteArray("TabSel=x\n"), QByteArray("TabSel=5\n")}) {
        form.reset();
        prompt.clear();
        writeStore(bad);
        ASSERT_TRUE(start());
        ASSERT_EQ(prompt.messageTexts().size(), 1);
        EXPECT_TRUE(prompt.messageTexts()[0].contains(u"TabSel"_s));
        EXPECT_TRUE(prompt.messageTexts()[0].contains(u"Form_Load at line 134"_s));
        EXPECT_EQ(tabs()->currentIndex(), 0);
    }
}

TEST_F(MainWindow, AddTestAndItsMessage) {
    ASSERT_TRUE(start());
    edit(u"txtTest"_s)->setText(u"   "_s);
    click(u"PushButton1"_s);
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_EQ(prompt.shown()[0].text, u"You forgot to input test/points."_s);
    EXPECT_TRUE(prompt.shown()[0].caption.isEmpty()); // the application title
    EXPECT_EQ(prompt.shown()[0].icon, Prompt::Icon::None);
    EXPECT_EQ(form->testsModel().size(), 0);

    addTest(u"Quiz"_s, QString());
    EXPECT_TRUE(edit(u"txtTest"_s)->text().isEmpty());
    EXPECT_TRUE(edit(u"txtPoints"_s)->text().isEmpty());
    ASSERT_EQ(form->testsModel().size(), 1);
    // Not in the picker nor in the students columns until the tab changes.
    EXPECT_EQ(picker()->count(), 0);
    EXPECT_EQ(studentColumns().size(), 2);
    tabs()->setCurrentIndex(1);
    EXPECT_EQ(pickerLines(), (QStringList{u"Quiz"_s}));
    EXPECT_EQ(studentColumns().last(), u"Quiz"_s);
    EXPECT_EQ(get<QTreeView>(u"ListView2"_s)->header()->sectionSize(0), 200);
    EXPECT_EQ(get<QTreeView>(u"ListView2"_s)->header()->sectionSize(1), 100);
}

TEST_F(MainWindow, DeleteNeedsASelection) {
    writeStore("Tests=A^1|B^2\nStudents=Ann^1^a^b|Bo^2^c^d\n");
    ASSERT_TRUE(start());
    click(u"PushButton2"_s);
    click(u"PushButton4"_s);
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(u"\r\n"_s + kLoc + u"PushButton2_Click at line 100\r\r"_s));
    EXPECT_TRUE(texts[1].contains(u"\r\n"_s + kLoc + u"PushButton4_Click at line 100\r\r"_s));
    EXPECT_EQ(form->testsModel().size(), 2);
    EXPECT_EQ(form->studentsModel().size(), 2);

    // Deleting test A takes its points with it; B's points stay with B.
    select(u"ListView1"_s, 0);
    click(u"PushButton2"_s);
    select(u"ListView2"_s, 1);
    click(u"PushButton4"_s);
    EXPECT_EQ(prompt.messageTexts().size(), 2);
    tabs()->setCurrentIndex(1);
    const GradebookSetup setup = form->currentSetup();
    ASSERT_EQ(setup.students.size(), 1u);
    EXPECT_EQ(setup.students[0], (StudentRow{u"Ann"_s, u"1"_s, {u"b"_s}}));
    EXPECT_EQ(setup.tests, (std::vector<TestRow>{{u"B"_s, u"2"_s}}));
}

TEST_F(MainWindow, StudentPointsNeedAChosenTest) {
    writeStore("Tests=A^1|B^2\nTabSel=1\n");
    ASSERT_TRUE(start());
    edit(u"txtStName"_s)->setText(u"Ann"_s);
    edit(u"txtStPoints"_s)->setText(u"9"_s);
    click(u"PushButton3"_s);
    // The student is added; the points are refused with a short message and stay typed.
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_TRUE(prompt.shown()[0].text.contains(u"\"Test:\""_s));
    EXPECT_TRUE(prompt.shown()[0].caption.isEmpty());
    EXPECT_EQ(form->studentsModel().size(), 1);
    EXPECT_EQ(edit(u"txtStPoints"_s)->text(), u"9"_s);
    EXPECT_EQ(edit(u"txtStName"_s)->text(), u"Ann"_s);
    click(u"PushButton5"_s);
    EXPECT_EQ(prompt.shown().size(), 2u);
    EXPECT_EQ(form->currentSetup().students[0].points, (QStringList{u""_s, u""_s}));

    picker()->setCurrentIndex(1);
    click(u"PushButton5"_s);
    EXPECT_EQ(prompt.shown().size(), 2u);
    EXPECT_EQ(form->currentSetup().students[0].points, (QStringList{u""_s, u"9"_s}));
    // "New" empties the three student inputs and keeps the picker's choice.
    click(u"PushButton7"_s);
    EXPECT_TRUE(edit(u"txtStName"_s)->text().isEmpty());
    EXPECT_TRUE(edit(u"txtStPoints"_s)->text().isEmpty());
    EXPECT_EQ(picker()->currentIndex(), 1);
}

TEST_F(MainWindow, AddTestPointsWithoutOrAfterDeletingCurrentStudent) {
    writeStore("Tests=A^1\nStudents=Restored^1^\nTabSel=1\n");
    ASSERT_TRUE(start());
    picker()->setCurrentIndex(0);
    edit(u"txtStPoints"_s)->setText(u"5"_s);
    click(u"PushButton5"_s);
    // No student added since the start: an application error report, nothing changes.
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(kLoc + u"PushButton5_Click at line 100\r\r"_s));
    EXPECT_EQ(form->currentSetup().students[0].points, (QStringList{u""_s}));

    edit(u"txtStName"_s)->setText(u"Ann"_s);
    edit(u"txtStPoints"_s)->clear();
    click(u"PushButton3"_s);
    select(u"ListView2"_s, 1);
    click(u"PushButton4"_s);
    edit(u"txtStPoints"_s)->setText(u"7"_s);
    click(u"PushButton5"_s);
    ASSERT_EQ(prompt.shown().size(), 2u);
    EXPECT_EQ(prompt.shown()[1].caption, QString());
    EXPECT_TRUE(prompt.shown()[1].text.contains(u"deleted"_s));
    const GradebookSetup setup = form->currentSetup();
    ASSERT_EQ(setup.students.size(), 1u);
    EXPECT_EQ(setup.students[0], (StudentRow{u"Restored"_s, u"1"_s, {u""_s}}));
}

TEST_F(MainWindow, SeparatorsCannotBeTypedOrPastedIntoListFields) {
    ASSERT_TRUE(start());
    for (const auto& name : {u"txtTest"_s, u"txtPoints"_s, u"txtStName"_s, u"txtStID"_s, u"txtStPoints"_s}) {
        QLineEdit* field = edit(name);
        field->setFocus();
        QTest::keyClicks(field, u"a|b^c"_s);
        EXPECT_EQ(field->text(), u"abc"_s) << name.toStdString();
        field->insert(u"x|y"_s); // what a paste does
        EXPECT_EQ(field->text(), u"abc"_s) << name.toStdString();
    }
    // The general options never go into a list; they take any text.
    QTest::keyClicks(edit(u"txtName"_s), u"a|b"_s);
    EXPECT_EQ(edit(u"txtName"_s)->text(), u"a|b"_s);
}

TEST_F(MainWindow, SampleDataOnAFirstStartAndTwice) {
    ASSERT_TRUE(start());
    click(u"PushButton9"_s);
    EXPECT_TRUE(prompt.shown().empty());
    EXPECT_EQ(stored(u"txtName"_s), u"Harold Winslow"_s);
    EXPECT_EQ(stored(u"txtTeachName"_s), u"Mrs. Hartley"_s);
    EXPECT_EQ(stored(u"txtProject"_s), u"Elementary"_s);
    EXPECT_EQ(stored(u"txtYSQ"_s), u"2016"_s);
    EXPECT_EQ(edit(u"txtTest"_s)->text(), u"History"_s);
    EXPECT_EQ(edit(u"txtPoints"_s)->text(), u"70"_s);
    EXPECT_EQ(edit(u"txtStName"_s)->text(), u"Thomas Ellery"_s);
    EXPECT_EQ(edit(u"txtStID"_s)->text(), u"E16-28"_s);
    EXPECT_EQ(edit(u"txtStPoints"_s)->text(), u"50"_s);
    EXPECT_EQ(form->testsModel().rows(), (std::vector<TestRow>{{u"Mathematics"_s, u"80"_s}, {u"History"_s, u"70"_s}}));
    // The picker was empty, so the student has no points; the sample is not CurrentStudent.
    EXPECT_EQ(form->studentsModel().rows()[0], (StudentRow{u"Thomas Ellery"_s, u"E16-28"_s, {}}));
    EXPECT_EQ(form->studentsModel().currentState(), StudentsModel::Current::None);
    tabs()->setCurrentIndex(1);
    EXPECT_EQ(studentColumns(), (QStringList{u"Student Name"_s, u"Student ID"_s, u"Mathematics"_s, u"History"_s}));

    // Pressed again with the picker up to date: the new student gets 50 for both tests.
    click(u"PushButton9"_s);
    EXPECT_EQ(form->testsModel().size(), 4);
    ASSERT_EQ(form->studentsModel().size(), 2);
    EXPECT_EQ(form->studentsModel().rows()[1].points, (QStringList{u"50"_s, u"50"_s}));
    EXPECT_EQ(picker()->currentIndex(), 1);
    form->close();
    EXPECT_EQ(stored(u"Students"_s), u"Thomas Ellery^E16-28^^|Thomas Ellery^E16-28^50^50"_s);
}

TEST_F(MainWindow, HelpShowsTheContactAddressUnderTheApplicationTitle) {
    ASSERT_TRUE(start());
    click(u"PushButton8"_s);
    click(u"PushButton8"_s);
    ASSERT_EQ(prompt.shown().size(), 2u);
    for (const auto& shown : prompt.shown()) {
        EXPECT_EQ(shown.text,
                  u"Questions? Please contact Team Kestrelware at https://markwell-software.example/contact"_s);
        EXPECT_TRUE(shown.caption.isEmpty());
        EXPECT_EQ(shown.icon, Prompt::Icon::None);
    }
}

TEST_F(MainWindow, WithoutAHostTheProgramEndsAfterTheMessage) {
    writeStore("Tests=A^1\n");
    factory = [] { return std::unique_ptr<SpreadsheetHost>(); };
    EXPECT_FALSE(start());
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_EQ(prompt.shown()[0].text, hostUnavailableMessageText());
    EXPECT_TRUE(prompt.shown()[0].caption.isEmpty());
    EXPECT_EQ(prompt.shown()[0].icon, Prompt::Icon::None);
    EXPECT_TRUE(hostUnavailableMessageText().startsWith(
        u"Error 842001. A normal instance of Excel could not be created.\r\n\r\n1. Please make sure"_s));
    EXPECT_TRUE(hostUnavailableMessageText().endsWith(u"Starter and Student editions."_s));
    EXPECT_EQ(hostUnavailableMessageText().count(u"\r\n\r\n"_s), 4);
    EXPECT_TRUE(form->programEnded());
    EXPECT_FALSE(form->isVisible());
    // The close step does not run: the lists are not written.
    form->close();
    EXPECT_EQ(stored(u"Students"_s), u"<absent>"_s);

    // A factory that throws counts as no host as well.
    form.reset();
    factory = []() -> std::unique_ptr<SpreadsheetHost> { throw HostError(u"no"_s); };
    EXPECT_FALSE(start());
}

TEST_F(MainWindow, HomePageOneTimeInAHundred) {
    ASSERT_TRUE(start());
    EXPECT_TRUE(opened.isEmpty());
    form.reset();
    draw = 7;
    ASSERT_TRUE(start());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(u"https://markwell-software.example/"_s));
}

TEST_F(MainWindow, DamagedStoreIsReportedAndWhatCouldBeReadIsUsed) {
    writeStore("txtName=kept\nthis line is broken\nTests=A^1\n");
    const QByteArray original = config.read(u"Kestrelware/settings.ini"_s);
    ASSERT_TRUE(start());
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].contains(u"line 3"_s));
    EXPECT_TRUE(texts[0].contains(u"Form_Load at line 116"_s));
    EXPECT_EQ(edit(u"txtName"_s)->text(), u"kept"_s);
    EXPECT_EQ(form->testsModel().size(), 1);
    edit(u"txtName"_s)->setText(u"changed"_s);
    EXPECT_EQ(config.read(u"Kestrelware/settings.ini.damaged"_s), original);
}

TEST_F(MainWindow, CursorFileIsOptionalAndKeepsItsHotSpot) {
    ASSERT_TRUE(start());
    EXPECT_TRUE(prompt.shown().empty());
    EXPECT_FALSE(form->pointer().hasCustomCursor());

    form.reset();
    programDir.write(u"HAND-M.CUR"_s, test::cursorFileBytes(QSize(32, 32), QPoint(9, 3)));
    ASSERT_TRUE(start());
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    ASSERT_TRUE(form->pointer().hasCustomCursor());
    const QCursor hand = form->pointer().cursorFor(WindowPointer::State::Custom);
    EXPECT_EQ(hand.hotSpot(), QPoint(9, 3));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));

    form.reset();
    programDir.write(u"HAND-M.CUR"_s, "not a cursor");
    ASSERT_TRUE(start());
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"The cursor file \""_s));
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"HAND-M.CUR"_s));
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"Form_Load at line 110"_s));
    EXPECT_FALSE(form->pointer().hasCustomCursor());
}

TEST(CursorFile, HotSpotComesFromTheFile) {
    for (const QPoint spot : {QPoint(0, 0), QPoint(15, 0), QPoint(4, 27), QPoint(31, 31)}) {
        QString why;
        const auto cursor = decodeCursorFile(test::cursorFileBytes(QSize(32, 32), spot), &why);
        ASSERT_TRUE(cursor.has_value()) << why.toStdString();
        EXPECT_EQ(cursor->hotSpot, spot);
        EXPECT_EQ(qAlpha(cursor->image.pixel(spot)), 255); // the file's picture, unmoved
    }
    // An icon file has no hot spot of its own: the middle of the picture.
    QByteArray icon = test::cursorFileBytes(QSize(16, 16), QPoint(1, 1));
    icon[2] = 1;
    QString why;
    const auto fromIcon = decodeCursorFile(icon, &why);
    ASSERT_TRUE(fromIcon.has_value()) << why.toStdString();
    EXPECT_EQ(fromIcon->hotSpot, QPoint(8, 8));
    // A hot spot outside the picture is kept inside it.
    QByteArray beyond = test::cursorFileBytes(QSize(16, 16), QPoint(0, 0));
    beyond[10] = 0x40; // x = 64
    const auto outside = decodeCursorFile(beyond, &why);
    ASSERT_TRUE(outside.has_value());
    EXPECT_EQ(outside->hotSpot, QPoint(15, 0));
    // Damaged files are refused with a reason.
    for (const QByteArray& bad : {QByteArray(), QByteArray("not a cursor at all, but long enough to look"),
                                  test::cursorFileBytes(QSize(16, 16), QPoint(1, 1)).left(30)}) {
        why.clear();
        EXPECT_FALSE(decodeCursorFile(bad, &why).has_value());
        EXPECT_FALSE(why.isEmpty());
    }
}

TEST_F(MainWindow, HoverRulesLeaveTheHourglassAlone) {
    ASSERT_TRUE(start());
    // A pointer move as the window system delivers it to the element under the pointer.
    auto moveOver = [](QWidget* w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(w, &move);
    };
    moveOver(get<QPushButton>(u"PushButton8"_s));
    EXPECT_EQ(form->pointer().state(), WindowPointer::State::Custom);
    moveOver(edit(u"txtTest"_s)); // runs no rule
    EXPECT_EQ(form->pointer().state(), WindowPointer::State::Custom);
    moveOver(get<QTreeView>(u"ListView1"_s)->viewport());
    EXPECT_EQ(form->pointer().state(), WindowPointer::State::Default);
    moveOver(get<QPushButton>(u"PushButton3"_s));
    moveOver(form.get());
    EXPECT_EQ(form->pointer().state(), WindowPointer::State::Default);
    form->pointer().setBusy(true);
    moveOver(get<QPushButton>(u"PushButton9"_s));
    moveOver(edit(u"txtName"_s));
    EXPECT_EQ(form->pointer().state(), WindowPointer::State::Busy);
}

TEST_F(MainWindow, LayoutFollowsTheTwipsTable) {
    ASSERT_TRUE(start());
    EXPECT_EQ(form->size(), QSize(640, 564));
    EXPECT_EQ(get<QPushButton>(u"PushButton6"_s)->geometry(), QRect(8, 8, 624, 27));
    EXPECT_EQ(get<QGroupBox>(u"Frame1"_s)->geometry(), QRect(8, 74, 624, 135));
    EXPECT_EQ(edit(u"txtYSQ"_s)->geometry(), QRect(136, 94, 467, 23));
    EXPECT_EQ(get<QWidget>(u"Frame5"_s)->geometry(), QRect(8, 24, 603, 312));
    EXPECT_EQ(get<QPushButton>(u"PushButton5"_s)->geometry(), QRect(153, 128, 136, 27));
    EXPECT_EQ(get<QTreeView>(u"ListView1"_s)->header()->sectionSize(0), 367);
    EXPECT_EQ(get<QPushButton>(u"PushButton1"_s)->font().pointSizeF(), 11.25);
    EXPECT_TRUE(edit(u"txtName"_s)->font().bold());
    EXPECT_EQ(edit(u"txtName"_s)->font().pointSizeF(), 9.0);

    // Every label ends just left of its field, right-aligned, its whole text in view.
    for (const auto& name : {u"txtName"_s, u"txtTeachName"_s, u"txtProject"_s, u"txtYSQ"_s, u"txtTest"_s,
                             u"txtPoints"_s, u"txtStName"_s, u"txtStID"_s, u"txtStPoints"_s, u"Combo1"_s}) {
        auto* label = get<QLabel>(u"lbl"_s + name);
        auto* field = get<QWidget>(name);
        EXPECT_TRUE(label->alignment() & Qt::AlignRight) << name.toStdString();
        EXPECT_LE(label->geometry().right(), field->geometry().left()) << name.toStdString();
        EXPECT_GE(field->geometry().left() - label->geometry().right(), 1) << name.toStdString();
        EXPECT_GE(label->geometry().left(), 0) << name.toStdString();
        const QFontMetrics fm(label->font());
        const QRect needed = fm.boundingRect(QRect(0, 0, label->width(), 1000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), label->width()) << name.toStdString();
        EXPECT_LE(needed.height(), label->height()) << name.toStdString();
    }
}

TEST_F(MainWindow, GeneralOptionsLineRunsAboveItsFirstField) {
    ASSERT_TRUE(start());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* frame = get<QGroupBox>(u"Frame1"_s);
    const QRect first = edit(u"txtName"_s)->geometry();
    // The fields keep their places from the layout table.
    EXPECT_EQ(first, QRect(136, 16, 467, 23));
    EXPECT_EQ(get<QLabel>(u"lbltxtName"_s)->geometry().top(), 16);

    const QImage shot = frame->grab().toImage();
    const QRgb background = shot.pixel(frame->width() / 2, first.top() - 1);
    // The topmost drawn row over the middle of the frame (clear of the caption) is its line.
    int line = -1;
    for (int y = 0; y < first.top() && line < 0; ++y) {
        if (shot.pixel(frame->width() / 2, y) != background) {
            line = y;
        }
    }
    ASSERT_GE(line, 0) << "no frame line above the first field";
    EXPECT_LT(line, first.top() - 1);
    // Nothing of the frame touches the first field or its label: the row above them is clear.
    for (int x = 4; x < first.right(); ++x) {
        EXPECT_EQ(shot.pixel(x, first.top() - 1), background) << x;
    }
    // The caption is drawn, above the fields.
    bool caption = false;
    for (int y = 0; y < first.top() - 1 && !caption; ++y) {
        for (int x = 8; x < 60 && !caption; ++x) {
            caption = qGray(shot.pixel(x, y)) < 100;
        }
    }
    EXPECT_TRUE(caption);
    EXPECT_EQ(frame->title(), u"General Options"_s);
    shot.save(u"/tmp/markwell-general-options.png"_s);
}

TEST_F(MainWindow, KeyboardOrder) {
    ASSERT_TRUE(start());
    const QStringList expected{u"txtName"_s,     u"txtTeachName"_s, u"txtProject"_s,  u"txtYSQ"_s,
                               u"txtTest"_s,     u"txtPoints"_s,    u"PushButton1"_s, u"PushButton2"_s,
                               u"ListView1"_s,   u"txtStName"_s,    u"txtStID"_s,     u"Combo1"_s,
                               u"txtStPoints"_s, u"PushButton3"_s,  u"PushButton5"_s, u"PushButton4"_s,
                               u"PushButton7"_s, u"ListView2"_s,    u"PushButton6"_s};
    QWidget* w = get<QWidget>(expected[0]);
    for (qsizetype i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w->objectName().isEmpty() || w->objectName().startsWith(u"lbl"_s) ||
               w->objectName() == u"qt_scrollarea_viewport"_s) {
            w = w->nextInFocusChain();
        }
        EXPECT_EQ(w->objectName(), expected[i]);
    }
}

TEST_F(MainWindow, FieldsSelectTheirTextOnFocus) {
    ASSERT_TRUE(start());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QLineEdit* id = edit(u"txtStID"_s);
    tabs()->setCurrentIndex(1);
    id->setText(u"E16-28"_s);
    id->setFocus();
    QTest::qWait(10);
    EXPECT_EQ(id->selectedText(), u"E16-28"_s);
}

TEST_F(MainWindow, AStoreThatCannotBeWrittenIsToldOnceNotOnEveryKeystroke) {
    // A folder where the settings file belongs: it cannot be read, so it is never written.
    QDir().mkpath(config.file(u"Kestrelware/settings.ini"_s));
    ASSERT_TRUE(start());
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"Form_Load at line 116"_s));
    prompt.clear();
    QLineEdit* name = edit(u"txtName"_s);
    QTest::keyClicks(name, u"abc"_s);
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_TRUE(prompt.shown()[0].text.contains(u"settings.ini"_s));
    EXPECT_EQ(name->text(), u"abc"_s);
    EXPECT_TRUE(QFileInfo(config.file(u"Kestrelware/settings.ini"_s)).isDir());
}
