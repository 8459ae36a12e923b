// Bringing a class into the main window and back out: paste and drop into both lists, the one
// question, copy to the clipboard, and points written with a decimal comma.

#include "main/Application.h"

#include "app/Form1.h"
#include "app/PointsMark.h"
#include "app/ProgressWindow.h"
#include "gradebook/TemplateBytes.h"
#include "preview/Form2.h"
#include "setup/PointsText.h"
#include "setup/SettingsStore.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"
#include "workbook/xls/XlsReader.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::ScriptedPrompt;
using markwell::test::TempDir;
using Kind = ScriptedPrompt::Shown::Kind;

namespace {

// Sets the program's locale for one test.
class LocaleForTest {
public:
    explicit LocaleForTest(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleForTest() { QLocale::setDefault(m_before); }

private:
    QLocale m_before;
};

class ClassWindow : public ::testing::Test {
protected:
    TempDir config;
    TempDir work;
    TempDir files;
    ScriptedPrompt prompt;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Application> app;
    QString clipboard;
    int clipboardWrites = 0;

    void writeStore(const QByteArray& body) {
        QDir().mkpath(config.file(u"Kestrelware"_s));
        config.write(u"Kestrelware/settings.ini"_s, "[Markwell Software]\n" + body);
    }
    void start() {
        app.reset();
        store = std::make_unique<SettingsStore>(config.path());
        app = std::make_unique<Application>(Application::Dependencies{prompt,
                                                                      *store,
                                                                      defaultHostFactory(),
                                                                      [] { return templateWorkbook(); },
                                                                      [this] { return work.path(); },
                                                                      {},
                                                                      [] {},
                                                                      [] { return 50; },
                                                                      config.path()});
        form().setClipboard({[this] { return clipboard; },
                             [this](const QString& text) {
                                 clipboard = text;
                                 ++clipboardWrites;
                             }});
        ASSERT_TRUE(app->start());
    }
    Form1& form() { return app->mainWindow(); }
    QString stored(const QString& key) const { return SettingsStore(config.path()).read(key, u"<absent>"_s); }

    template <class T> T* get(const QString& name) {
        T* w = form().findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QTreeView* tests() { return get<QTreeView>(u"ListView1"_s); }
    QTreeView* students() { return get<QTreeView>(u"ListView2"_s); }
    void showTab(int index) { get<QTabBar>(u"TabControl1"_s)->setCurrentIndex(index); }

    void press(QTreeView* list, QKeySequence::StandardKey key) {
        const QKeyCombination combination = QKeySequence(key)[0];
        QTest::keyClick(list, combination.key(), combination.keyboardModifiers());
    }
    void paste(QTreeView* list, const QString& text) {
        clipboard = text;
        press(list, QKeySequence::Paste);
    }
    // Drags the files over the list; true when the list takes them. Then drops them there.
    bool dragAndDrop(QTreeView* list, const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls << QUrl::fromLocalFile(path);
        }
        mime.setUrls(urls);
        const QPoint at = list->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QCoreApplication::processEvents(); // the question comes once the drop is over
        return enter.isAccepted() && drop.isAccepted();
    }
    std::vector<TestRow> testRows() { return form().testsModel().rows(); }
    std::vector<StudentRow> studentRows() { return form().studentsModel().rows(); }
    QString onlyQuestion() {
        EXPECT_EQ(prompt.shown().size(), 1u) << prompt.messageTexts().join(u"\n"_s).toStdString();
        return prompt.shown().empty() ? QString() : prompt.shown().front().text;
    }
    // The question's first paragraph, what it asks.
    QString asked() { return onlyQuestion().section(u"\n\n"_s, 0, 0); }
};

} // namespace

TEST_F(ClassWindow, PastedSpreadsheetRowsGoIntoBothListsAfterOneQuestion) {
    start();
    // As a spreadsheet program puts cells on the clipboard; the captions row is skipped.
    prompt.answerNext(Prompt::Answer::Yes);
    paste(tests(), u"Assignment or Test Name\tPossible Points\r\n"
                   u"Quiz 1\t20\r\n"
                   u"\"Essay: \"\"My Town\"\",\tpart 2\"\t50\r\n"
                   u"\"Final,\r\nwritten\"\t100\r\n"_s);
    EXPECT_EQ(asked(), u"Add 3 tests?"_s);
    EXPECT_EQ(prompt.shown().front().kind, Kind::Question);
    EXPECT_EQ(prompt.shown().front().defaultButton, Prompt::Answer::Yes);
    EXPECT_EQ(testRows(), (std::vector<TestRow>{{u"Quiz 1"_s, u"20"_s},
                                                {u"Essay: \"My Town\",\tpart 2"_s, u"50"_s},
                                                {u"Final,\nwritten"_s, u"100"_s}}));

    prompt.clear();
    showTab(1);
    prompt.answerNext(Prompt::Answer::Yes);
    paste(students(), u"\"Brook, Ada\"\t00123\t18\t44\t91\n"
                      u"Thomas Ellery\tE16-28\t15\t\t\n"_s);
    EXPECT_EQ(asked(), u"Add 2 students with points for 3 tests?"_s);
    EXPECT_EQ(studentRows(), (std::vector<StudentRow>{{u"Brook, Ada"_s, u"00123"_s, {u"18"_s, u"44"_s, u"91"_s}},
                                                      {u"Thomas Ellery"_s, u"E16-28"_s, {u"15"_s, u""_s, u""_s}}}));
    EXPECT_EQ(clipboardWrites, 0) << "paste only reads the clipboard";

    // The last pasted student is the one "Add Test Points" writes to, as after "Add Student".
    get<QComboBox>(u"Combo1"_s)->setCurrentIndex(1);
    get<QLineEdit>(u"txtStPoints"_s)->setText(u"40"_s);
    get<QPushButton>(u"PushButton5"_s)->click();
    EXPECT_EQ(studentRows()[1].points, (QStringList{u"15"_s, u"40"_s, u""_s}));

    // The lists are stored when the window closes, as after "Add" and "Add Student".
    EXPECT_EQ(stored(u"Tests"_s), u"<absent>"_s);
    form().close();
    EXPECT_EQ(stored(u"Tests"_s), u"Quiz 1^20|Essay: \"My Town\",\tpart 2^50|Final,\nwritten^100"_s);
    EXPECT_EQ(stored(u"Students"_s), u"Brook, Ada^00123^18^44^91|Thomas Ellery^E16-28^15^40^"_s);
}

TEST_F(ClassWindow, DroppedRosterFilesAreReadAsMarkwellCliReadsThem) {
    start();
    files.write(u"tests.csv"_s, "\xEF\xBB\xBF"
                                "Assignment or Test Name,Possible Points\r\n"
                                "Quiz 1,20\r\n"
                                "\"Essay: \"\"My Town\"\"\",50\r\n");
    prompt.answerNext(Prompt::Answer::Yes);
    EXPECT_TRUE(dragAndDrop(tests(), {files.file(u"tests.csv"_s)}));
    EXPECT_EQ(asked(), u"Add 2 tests?"_s);
    EXPECT_EQ(testRows(), (std::vector<TestRow>{{u"Quiz 1"_s, u"20"_s}, {u"Essay: \"My Town\""_s, u"50"_s}}));

    prompt.clear();
    showTab(1);
    files.write(u"class.TXT"_s, "Ann Lee\tS-1\t18\t44\rBo\tS-2\t\t40\r");
    prompt.answerNext(Prompt::Answer::Yes);
    EXPECT_TRUE(dragAndDrop(students(), {files.file(u"class.TXT"_s)}));
    EXPECT_EQ(asked(), u"Add 2 students with points for 2 tests?"_s);
    EXPECT_EQ(studentRows(), (std::vector<StudentRow>{{u"Ann Lee"_s, u"S-1"_s, {u"18"_s, u"44"_s}},
                                                      {u"Bo"_s, u"S-2"_s, {u""_s, u"40"_s}}}));

    // Only one .csv or .txt file is taken; anything else is not accepted where it is dragged.
    prompt.clear();
    files.write(u"book.xls"_s, "x");
    EXPECT_FALSE(dragAndDrop(students(), {files.file(u"book.xls"_s)}));
    EXPECT_FALSE(dragAndDrop(students(), {files.file(u"class.TXT"_s), files.file(u"tests.csv"_s)}));
    EXPECT_TRUE(prompt.shown().empty());
    // A file that cannot be read is named with the system's reason; nothing changes.
    QDir(files.path()).mkdir(u"folder.csv"_s);
    EXPECT_TRUE(dragAndDrop(students(), {files.file(u"folder.csv"_s)}));
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].startsWith(
        u"\"%1\" cannot be read: "_s.arg(QDir::toNativeSeparators(files.file(u"folder.csv"_s)))))
        << prompt.messageTexts()[0].toStdString();
    EXPECT_EQ(studentRows().size(), 2u);
}

TEST_F(ClassWindow, EveryRowThatCannotBeTakenIsNamedInTheOneQuestion) {
    start();
    QString text = u"Quiz\t10\nToo\tmany\tfields\nPipe|name\t5\nCaret\t5^\n"_s;
    for (qsizetype i = 1; i < kMaxListRows; ++i) {
        text += u"T\t1\n"_s;
    }
    text += u"Last\t1\nOne more\t2\n"_s;
    prompt.answerNext(Prompt::Answer::Yes);
    paste(tests(), text);
    EXPECT_EQ(onlyQuestion(), u"Add 32767 tests?\n\n"
                              u"The first tests as they will be added:\nQuiz: 10 possible points\n"
                              u"T: 1 possible points\nT: 1 possible points\n\n"
                              u"These lines of the pasted text cannot be taken and will be left out:\n"
                              u"Line 2: 3 fields, but a test has two: name and possible points.\n"
                              u"Line 3: \"Pipe|name\" holds a | or ^, which the lists cannot hold.\n"
                              u"Line 4: \"5^\" holds a | or ^, which the lists cannot hold.\n"
                              u"Line 32771: more than 32767 tests: a list holds at most 32767 rows.\n"
                              u"Line 32772: more than 32767 tests: a list holds at most 32767 rows."_s);
    ASSERT_EQ(form().testsModel().size(), kMaxListRows);
    EXPECT_EQ(testRows().front(), (TestRow{u"Quiz"_s, u"10"_s}));

    // When no row can be taken there is nothing to ask: one message says why.
    prompt.clear();
    paste(tests(), u"A\t1\n"_s);
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_EQ(prompt.shown().front().kind, Kind::Message);
    EXPECT_EQ(prompt.shown().front().text, u"Nothing can be added from the pasted text:\n\n"
                                           u"Line 1: more than 32767 tests: a list holds at most 32767 rows."_s);
    EXPECT_EQ(form().testsModel().size(), kMaxListRows);
}

TEST_F(ClassWindow, NoAnswerLeavesTheListsAsTheyWere) {
    writeStore("Tests=Quiz^10|Final^90\nStudents=Old^S-0^1^2\nTabSel=1\n");
    start();
    get<QLineEdit>(u"txtStName"_s)->setText(u"Ann"_s);
    get<QPushButton>(u"PushButton3"_s)->click();
    const auto testsBefore = testRows();
    const auto studentsBefore = studentRows();

    prompt.answerNext(Prompt::Answer::No);
    paste(students(), u"Bo\tS-2\t5\t6\nCy\tS-3\t7\t8\t9\n"_s);
    EXPECT_TRUE(onlyQuestion().startsWith(u"Add 1 student with points for 2 tests?\n\n"_s));
    EXPECT_TRUE(onlyQuestion().contains(u"Line 2: 3 points columns, but the gradebook has 2 tests."_s));
    EXPECT_EQ(studentRows(), studentsBefore);

    // "Add Test Points" still writes to the student added last with "Add Student".
    get<QComboBox>(u"Combo1"_s)->setCurrentIndex(0);
    get<QLineEdit>(u"txtStPoints"_s)->setText(u"3"_s);
    get<QPushButton>(u"PushButton5"_s)->click();
    EXPECT_EQ(studentRows().back().name, u"Ann"_s);
    EXPECT_EQ(studentRows().back().points.value(0), u"3"_s);

    prompt.clear();
    showTab(0);
    files.write(u"t.csv"_s, "Essay,50\n");
    prompt.answerNext(Prompt::Answer::No);
    EXPECT_TRUE(dragAndDrop(tests(), {files.file(u"t.csv"_s)}));
    EXPECT_EQ(asked(), u"Add 1 test?"_s);
    EXPECT_EQ(testRows(), testsBefore);

    // An empty clipboard has nothing to add.
    prompt.clear();
    paste(tests(), QString());
    EXPECT_EQ(prompt.messageTexts(), QStringList{u"There are no tests to add in the pasted text."_s});
    EXPECT_EQ(testRows(), testsBefore);
}

TEST_F(ClassWindow, CopiedListsPasteBackTheSame) {
    start();
    for (const auto& [name, points] : {std::pair{u"Quiz \"A\", part 1"_s, u"20"_s}, std::pair{u"Essay"_s, u"12,5"_s},
                                       std::pair{u"Final"_s, u"100"_s}}) {
        get<QLineEdit>(u"txtTest"_s)->setText(name);
        get<QLineEdit>(u"txtPoints"_s)->setText(points);
        get<QPushButton>(u"PushButton1"_s)->click();
    }
    showTab(1);
    prompt.answerNext(Prompt::Answer::Yes);
    paste(students(), u"\"Tab\tand\nbreak\"\t00123\t18\tabc\t91\nZoë Ünal\tE16-28\t\t44,5\t\n  Spaces  \t\t\t\t7\n"_s);
    ASSERT_EQ(studentRows().size(), 3u);
    prompt.clear();
    const auto testsBefore = testRows();
    const auto studentsBefore = studentRows();

    // With no row selected, every row goes out, the captions first.
    press(students(), QKeySequence::Copy);
    EXPECT_EQ(clipboardWrites, 1);
    const QString copiedStudents = clipboard;
    EXPECT_TRUE(copiedStudents.startsWith(u"Student Name\tStudent ID\t\"Quiz \"\"A\"\", part 1\"\tEssay\tFinal\n"_s))
        << copiedStudents.toStdString();
    showTab(0);
    press(tests(), QKeySequence::Copy);
    const QString copiedTests = clipboard;
    EXPECT_TRUE(copiedTests.startsWith(u"Assignment or Test Name\tPossible Points\n"_s));

    // Emptied and pasted back: the same lists.
    for (QTreeView* list : {tests(), students()}) {
        while (list->model()->rowCount() > 0) {
            list->selectionModel()->select(list->model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            get<QPushButton>(list == tests() ? u"PushButton2"_s : u"PushButton4"_s)->click();
        }
    }
    // Deleting the tests took the students' points with them; the columns still name three tests.
    prompt.answerNext(Prompt::Answer::Yes);
    paste(tests(), copiedTests);
    EXPECT_EQ(testRows(), testsBefore);
    showTab(1);
    prompt.answerNext(Prompt::Answer::Yes);
    paste(students(), copiedStudents);
    EXPECT_EQ(studentRows(), studentsBefore);
    EXPECT_EQ(prompt.count(Kind::Question), 2) << prompt.messageTexts().join(u"\n"_s).toStdString();

    // A selected row goes out alone, under the captions.
    students()->selectionModel()->select(students()->model()->index(1, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    press(students(), QKeySequence::Copy);
    EXPECT_EQ(clipboard, u"Student Name\tStudent ID\t\"Quiz \"\"A\"\", part 1\"\tEssay\tFinal\n"
                         u"Zoë Ünal\tE16-28\t\t44,5\t\n"_s);
}

TEST_F(ClassWindow, DecimalCommaPointsBecomeNumbersUnderACommaLocale) {
    LocaleForTest german(QLocale(QLocale::German, QLocale::Germany));
    start();
    get<QLineEdit>(u"txtTest"_s)->setText(u"1,5"_s);
    get<QLineEdit>(u"txtPoints"_s)->setText(u"20,5"_s);
    get<QPushButton>(u"PushButton1"_s)->click();
    prompt.answerNext(Prompt::Answer::Yes);
    paste(tests(), u"Essay\t10\n"_s);

    // Typed and pasted points with a decimal comma.
    showTab(1);
    get<QLineEdit>(u"txtStName"_s)->setText(u"Ann"_s);
    get<QLineEdit>(u"txtStID"_s)->setText(u"00123"_s);
    get<QComboBox>(u"Combo1"_s)->setCurrentIndex(0);
    get<QLineEdit>(u"txtStPoints"_s)->setText(u"12,5"_s);
    get<QPushButton>(u"PushButton3"_s)->click();
    prompt.answerNext(Prompt::Answer::Yes);
    paste(students(), u"Bo\tE16-28\t7,5\tzehn\n"_s);
    ASSERT_EQ(prompt.count(Kind::Question), 2) << prompt.messageTexts().join(u"\n"_s).toStdString();
    ASSERT_EQ(prompt.count(Kind::Message), 0) << prompt.messageTexts().join(u"\n"_s).toStdString();

    // Only the points that will not count are marked, with a tooltip saying so.
    const QAbstractItemModel& model = *students()->model();
    auto marked = [&](int row, int column) { return model.index(row, column).data(kPointsWillNotCountRole).toBool(); };
    EXPECT_FALSE(marked(0, 2));
    EXPECT_FALSE(marked(1, 2));
    EXPECT_TRUE(marked(1, 3));
    EXPECT_EQ(model.index(1, 3).data(Qt::ToolTipRole).toString(),
              u"\"zehn\" is not a number: it will not count in the student's total."_s);
    // ... and shown in red.
    const QImage shown = students()->viewport()->grab().toImage();
    bool red = false;
    for (int y = 0; y < shown.height() && !red; ++y) {
        for (int x = 0; x < shown.width() && !red; ++x) {
            const QColor c = shown.pixelColor(x, y);
            red = c.red() > 120 && c.green() < 70 && c.blue() < 70;
        }
    }
    EXPECT_TRUE(red);

    get<QPushButton>(u"PushButton6"_s)->click();
    QApplication::processEvents();
    ASSERT_TRUE(app->previewLoaded());
    const auto book = xls::readXlsFile(app->previewWindow().excelFile().toStdString()).workbook;
    const sheet::Sheet& s = book.sheets.at(0);
    auto value = [&](int row, int column) {
        const sheet::Cell* c = s.cell(row - 1, column - 1);
        return c ? c->value : sheet::Value();
    };
    EXPECT_EQ(value(7, 7), sheet::Value(20.5)) << value(7, 7).describe();
    EXPECT_EQ(value(13, 7), sheet::Value(12.5)) << value(13, 7).describe();
    EXPECT_EQ(value(14, 7), sheet::Value(7.5)) << value(14, 7).describe();
    EXPECT_EQ(value(14, 8), sheet::Value("zehn"));
    // Names and IDs are never read as numbers.
    EXPECT_EQ(value(6, 7), sheet::Value("1,5"));
    EXPECT_EQ(value(13, 3), sheet::Value("00123"));
    EXPECT_EQ(value(14, 3), sheet::Value("E16-28"));
}

TEST_F(ClassWindow, UnderADecimalPointACommaInPointsIsMarked) {
    LocaleForTest c(QLocale::c());
    writeStore("Tests=Quiz^10\nStudents=Ann^S-1^12,5\nTabSel=1\n");
    start();
    const QModelIndex points = students()->model()->index(0, 2);
    EXPECT_TRUE(points.data(kPointsWillNotCountRole).toBool());
    EXPECT_EQ(points.data(Qt::ToolTipRole).toString(),
              u"\"12,5\" is not a number: it will not count in the student's total."_s);
}

TEST_F(ClassWindow, HeaderNamesPlacePointsAndDoubtfulRowsAskWithNoAsTheDefault) {
    LocaleForTest c(QLocale::c());
    writeStore("Tests=Quiz A^20|Essay^100\nTabSel=1\n");
    start();
    const auto askedWithNo = [&] { return prompt.shown().front().defaultButton == Prompt::Answer::No; };
    // The header names the tests in another order, and a column no test has.
    prompt.answerNext(Prompt::Answer::Yes);
    paste(students(), u"Student Name\tStudent ID\tEssay\tquiz a \tBonus\nAnn\t1\t88\t18\t5\n"_s);
    EXPECT_TRUE(onlyQuestion().contains(u"\nAnn (1) - Quiz A: 18; Essay: 88"_s)) << onlyQuestion().toStdString();
    EXPECT_TRUE(onlyQuestion().contains(u"will be left out: \"Bonus\"."_s));
    EXPECT_TRUE(askedWithNo());
    EXPECT_EQ(studentRows().back().points, (QStringList{u"18"_s, u"88"_s}));

    // A paragraph of prose is offered with No as the default, and No adds nothing.
    prompt.clear();
    prompt.answerNext(Prompt::Answer::No);
    paste(students(), u"The class went well, and the students, mostly, did their work.\nNext week, we see.\n"_s);
    EXPECT_TRUE(onlyQuestion().contains(u"\" mostly\" is not a number"_s)) << onlyQuestion().toStdString();
    EXPECT_TRUE(askedWithNo());
    EXPECT_EQ(studentRows().size(), 1u);

    // Semicolons, as a spreadsheet program saves CSV under a decimal comma.
    prompt.clear();
    files.write(u"class.csv"_s, "Name;ID;Quiz A;Essay\r\nBo;2;17,5;90\r\nCy;3;25;\r\n");
    prompt.answerNext(Prompt::Answer::Yes);
    EXPECT_TRUE(dragAndDrop(students(), {files.file(u"class.csv"_s)}));
    EXPECT_TRUE(onlyQuestion().contains(u"Line 3, Quiz A: \"25\" is more than the possible points (20)."_s))
        << onlyQuestion().toStdString();
    EXPECT_TRUE(askedWithNo());
    ASSERT_EQ(studentRows().size(), 3u);
    EXPECT_EQ(studentRows()[1].points, (QStringList{u"17.5"_s, u"90"_s}));

    // Points above the possible points are marked in the list, for the eye and for a screen reader.
    const QModelIndex over = students()->model()->index(2, 2);
    EXPECT_TRUE(over.data(kPointsWillNotCountRole).toBool());
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(students());
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->tableInterface(), nullptr);
    QAccessibleInterface* cell = list->tableInterface()->cellAt(2, 2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Description), u"\"25\" is more than the possible points (20)."_s);
    // A mark besides the colour, kept when the row is selected; the colour reads well on the list.
    auto* delegate = dynamic_cast<PointsMarkDelegate*>(students()->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    QStyleOptionViewItem option;
    option.initFrom(students());
    option.state |= QStyle::State_Selected;
    delegate->initStyleOption(&option, over);
    EXPECT_FALSE(option.icon.isNull());
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    for (const QColor& background :
         {students()->palette().color(QPalette::Base), QColor(Qt::white), QColor(0x20, 0x20, 0x20)}) {
        const double a = luminance(pointsMarkColour(background)), b = luminance(background);
        EXPECT_GE((std::max(a, b) + 0.05) / (std::min(a, b) + 0.05), 4.5) << background.name().toStdString();
    }
    // The keyboard reaching the row tells the reason.
    form().activateWindow();
    students()->setFocus();
    students()->setCurrentIndex(students()->model()->index(1, 0));
    QTest::keyClick(students(), Qt::Key_Down);
    EXPECT_EQ(QToolTip::text(), u"\"25\" is more than the possible points (20)."_s);
}

TEST_F(ClassWindow, CancelEndsALongJobWithNothingBehindAndTheWindowAsBefore) {
    start();
    qint64 now = 0; // every look at the clock finds another second gone
    app->setClock([&now] { return now += 1000; });
    get<QPushButton>(u"PushButton9"_s)->click(); // the example class
    const auto before = std::pair(testRows(), studentRows());
    ASSERT_FALSE(before.first.empty());
    bool shown = false, mainEnabled = true;
    QTimer::singleShot(0, [&] { // runs when the job first lets the progress window's events run
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<ProgressWindow*>(w) != nullptr && w->isVisible()) {
                shown = true;
                mainEnabled = form().isEnabled();
                w->findChild<QPushButton*>(u"CancelButton"_s)->click();
            }
        }
    });
    get<QPushButton>(u"PushButton6"_s)->click();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(mainEnabled) << "the main window takes no input while the job runs";
    EXPECT_TRUE(form().isEnabled() && form().isVisible());
    EXPECT_FALSE(app->previewLoaded());
    EXPECT_FALSE(form().mCreating);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_TRUE(QDir(work.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    EXPECT_EQ(std::pair(testRows(), studentRows()), before);
}
