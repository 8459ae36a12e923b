// Both windows for a screen reader, the preview from the keyboard, its sheet sharp at every scale.

#include "main/Application.h"

#include "app/Form1.h"
#include "gradebook/TemplateBytes.h"
#include "preview/Form2.h"
#include "preview/PictureBox.h"
#include "setup/SettingsStore.h"
#include "shell/Skin.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::preview::PictureBox;

namespace {

class PreviewAccess : public ::testing::Test {
protected:
    test::TempDir config;
    test::TempDir work;
    test::ScriptedPrompt prompt;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Application> app;

    void SetUp() override {
        // A class of two students with points on both tests.
        QDir().mkpath(config.file(u"Kestrelware"_s));
        config.write(u"Kestrelware/settings.ini"_s, "[Markwell Software]\nTests=Mathematics^80|History^70\n"
                                                    "Students=Ann Archer^A1^72^60|Ben Baker^B2^64^51\n");
        start();
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
        ASSERT_TRUE(app->start());
    }
    // The class through "Create Template" into the preview.
    preview::Form2& showClass() {
        app->mainWindow().PushButton6_Click();
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
        }
        EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
        return app->previewWindow();
    }
    static QAccessibleInterface* access(QObject* object) { return QAccessible::queryAccessibleInterface(object); }
    static PictureBox* box(preview::Form2& form, const QString& name) { return form.findChild<PictureBox*>(name); }
};

// The cell of the table whose text is `text`, or null.
QAccessibleInterface* cellWithText(QAccessibleInterface* table, const QString& text) {
    for (int i = 0; i < table->childCount(); ++i) {
        if (table->child(i)->text(QAccessible::Name) == text) {
            return table->child(i);
        }
    }
    return nullptr;
}

} // namespace

TEST_F(PreviewAccess, WindowsListsAndTheResultsAreNamedAndReadable) {
    Form1& main = app->mainWindow();
    const std::pair<QObject*, QString> named[] = {
        {&main, u"Markwell Software - Class setup"_s},
        {main.findChild<QWidget*>(u"Frame2"_s), u"Tests"_s},
        {main.findChild<QWidget*>(u"Frame5"_s), u"Students"_s},
        {main.findChild<QWidget*>(u"ListView1"_s), u"List of tests"_s},
        {main.findChild<QWidget*>(u"ListView2"_s), u"List of students"_s},
    };
    for (const auto& [object, name] : named) {
        ASSERT_NE(object, nullptr) << name.toStdString();
        EXPECT_EQ(access(object)->text(QAccessible::Name), name);
    }
    EXPECT_EQ(access(&main)->role(), QAccessible::Window);

    preview::Form2& form = showClass();
    EXPECT_EQ(access(&form)->role(), QAccessible::Window);
    EXPECT_EQ(access(&form)->text(QAccessible::Name), u"Markwell Software - Results preview"_s);

    QAccessibleInterface* picture = access(box(form, u"Picture1"_s));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->role(), QAccessible::Table);
    EXPECT_EQ(picture->text(QAccessible::Name), u"Gradebook results"_s);
    EXPECT_EQ(picture->text(QAccessible::Description), u"2 students, 2 tests; class average 82.50%, grade B-."_s);

    QAccessibleTableInterface* table = picture->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(picture->childCount(), table->rowCount() * table->columnCount());
    QAccessibleInterface* name = cellWithText(picture, u"Ben Baker"_s);
    QAccessibleInterface* header = cellWithText(picture, u"Average"_s);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(header, nullptr);
    const int row = name->tableCellInterface()->rowIndex();
    const int column = header->tableCellInterface()->columnIndex();
    EXPECT_EQ(table->columnDescription(column), u"Average"_s);
    EXPECT_EQ(picture->indexOfChild(name), row * table->columnCount() + name->tableCellInterface()->columnIndex());
    EXPECT_EQ(name->parent(), picture);

    // The student's average: a percentage, headed by its caption and the student's name.
    QAccessibleInterface* average = table->cellAt(row, column);
    EXPECT_EQ(average->role(), QAccessible::Cell);
    EXPECT_EQ(average->text(QAccessible::Name), u"77.00%"_s);
    const QList<QAccessibleInterface*> columnHeaders = average->tableCellInterface()->columnHeaderCells();
    const QList<QAccessibleInterface*> rowHeaders = average->tableCellInterface()->rowHeaderCells();
    ASSERT_EQ(columnHeaders.size(), 1);
    ASSERT_EQ(rowHeaders.size(), 1);
    EXPECT_EQ(columnHeaders[0]->text(QAccessible::Name), u"Average"_s);
    EXPECT_EQ(rowHeaders[0]->text(QAccessible::Name), u"Ben Baker"_s);
    EXPECT_EQ(table->cellAt(row, column + 1)->text(QAccessible::Name), u"C+"_s);
}

TEST_F(PreviewAccess, ThePictureIsPannedAndZoomedFromTheKeyboardAndTheWheel) {
    preview::Form2& form = showClass();
    PictureBox* picture = box(form, u"Picture1"_s);
    auto* h = form.findChild<QScrollBar*>(u"HScroll1"_s);
    auto* v = form.findChild<QScrollBar*>(u"VScroll1"_s);
    form.SetZoom(3.0f);
    ASSERT_TRUE(h->isEnabled() && v->isEnabled());
    picture->setFocus();

    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int h, v; // how far each bar moves, as far as it goes
    };
    constexpr int kAll = 1 << 20;
    const int hs = h->singleStep(), vs = v->singleStep(), vp = v->pageStep();
    const Step steps[] = {
        {Qt::Key_Right, Qt::NoModifier, hs, 0},    {Qt::Key_Down, Qt::NoModifier, 0, vs},
        {Qt::Key_PageDown, Qt::NoModifier, 0, vp}, {Qt::Key_Up, Qt::NoModifier, 0, -vs},
        {Qt::Key_End, Qt::NoModifier, kAll, 0},    {Qt::Key_Left, Qt::NoModifier, -hs, 0},
        {Qt::Key_Home, Qt::NoModifier, -kAll, 0},  {Qt::Key_End, Qt::ControlModifier, kAll, kAll},
        {Qt::Key_PageUp, Qt::NoModifier, 0, -vp},  {Qt::Key_Home, Qt::ControlModifier, -kAll, -kAll},
    };
    int eh = 0, ev = 0;
    for (const Step& s : steps) {
        eh = std::clamp(eh + s.h, 0, h->maximum());
        ev = std::clamp(ev + s.v, 0, v->maximum());
        QTest::keyClick(picture, s.key, s.modifiers);
        EXPECT_EQ(h->value(), eh) << "key " << s.key;
        EXPECT_EQ(v->value(), ev) << "key " << s.key;
    }
    // The picture follows the bars to its far corner.
    QTest::keyClick(picture, Qt::Key_End, Qt::ControlModifier);
    const QRect shown = picture->parentWidget()->rect();
    EXPECT_NEAR(picture->geometry().right(), shown.right(), 2);
    EXPECT_NEAR(picture->geometry().bottom(), shown.bottom(), 2);

    QTest::keyClick(picture, Qt::Key_Home, Qt::ControlModifier);
    auto wheel = [&](QPoint angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent e(QPointF(5, 5), picture->mapToGlobal(QPointF(5, 5)), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(picture, &e);
    };
    wheel(QPoint(0, -120), Qt::NoModifier);
    EXPECT_EQ(v->value(), std::min(v->maximum(), QApplication::wheelScrollLines() * vs));
    wheel(QPoint(0, -120), Qt::ShiftModifier);
    EXPECT_EQ(h->value(), std::min(h->maximum(), QApplication::wheelScrollLines() * hs));

    const std::pair<std::function<void()>, float> zooms[] = {
        {[&] { QTest::keyClick(picture, Qt::Key_Plus, Qt::ControlModifier); }, 3.25f},
        {[&] { QTest::keyClick(picture, Qt::Key_Minus, Qt::ControlModifier); }, 3.0f},
        {[&] { QTest::keyClick(&form, Qt::Key_Equal, Qt::ControlModifier); }, 3.25f},
        {[&] { wheel(QPoint(0, -120), Qt::ControlModifier); }, 3.0f},
        {[&] { wheel(QPoint(0, 60), Qt::ControlModifier); }, 3.0f}, // half a notch: not yet
        {[&] { wheel(QPoint(0, 60), Qt::ControlModifier); }, 3.25f},
    };
    for (const auto& [act, zoom] : zooms) {
        act();
        EXPECT_FLOAT_EQ(form.view().zoom(), zoom);
    }
}

TEST_F(PreviewAccess, TheSheetIsDrawnSharplyAtEveryDensityAndZoom) {
    preview::Form2& form = showClass();
    PictureBox* picture = box(form, u"Picture1"_s);
    const QImage original = box(form, u"Zoom_Ori"_s)->picture();
    ASSERT_TRUE(picture->drawsSheet());
    const QRect area(0, 0, std::min(original.width(), 400), std::min(original.height(), 300));

    // At scale 1 the drawing is the picture itself.
    const QImage plain = picture->render(area, 1.0).convertToFormat(QImage::Format_RGB32);
    qint64 same = 0;
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            same += plain.pixel(x, y) == original.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GE(same * 100, qint64{area.width()} * area.height() * 99);

    // Twice the pixels, by density or by zoom: drawn at the finer grid, a fair share of the 2 x 2
    // blocks of what is not white hold more than one colour (an enlarged picture has none).
    for (const auto& c : {std::pair{1.0f, 2.0}, std::pair{2.0f, 1.0}}) {
        form.SetZoom(c.first);
        const QImage fine = picture->render(QRect(area.topLeft() * c.first, area.size() * c.first), c.second);
        ASSERT_EQ(fine.size(), area.size() * 2);
        int inked = 0, detailed = 0;
        for (int y = 0; y + 1 < fine.height(); y += 2) {
            for (int x = 0; x + 1 < fine.width(); x += 2) {
                const QRgb a = fine.pixel(x, y);
                if (a == qRgb(255, 255, 255)) {
                    continue;
                }
                ++inked;
                detailed += (fine.pixel(x + 1, y) != a || fine.pixel(x, y + 1) != a || fine.pixel(x + 1, y + 1) != a);
            }
        }
        EXPECT_GT(inked, 500) << "zoom " << c.first;
        EXPECT_GT(detailed * 20, inked) << "zoom " << c.first << ": " << detailed << " of " << inked;
    }
}

TEST_F(PreviewAccess, UnderAHighContrastSchemeEveryCaptionStaysReadable) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(QPalette(Qt::black)); // white on black
    start();
    Form1& main = app->mainWindow();
    for (QWidget* w : {static_cast<QWidget*>(&main), main.findChild<QWidget*>(u"Frame1"_s),
                       main.findChild<QWidget*>(u"lbltxtName"_s), main.findChild<QWidget*>(u"TabControl1"_s)}) {
        ASSERT_NE(w, nullptr);
        EXPECT_GE(contrastRatio(w->palette().color(QPalette::Window), w->palette().color(QPalette::WindowText)), 4.5)
            << w->objectName().toStdString();
    }
    QApplication::setPalette(before);
}
