#include "preview/Form2.h"
#include "preview/PictureBox.h"

#include "CursorFile.h"
#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QApplication>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using namespace markwell::preview;
using markwell::test::ScriptedPrompt;

namespace {

// A picture whose left half is red and right half blue, with a black pixel in the top left.
QImage sheetPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter p(&image);
    p.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    p.end();
    image.setPixel(0, 0, qRgb(0, 0, 0));
    return image;
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(local), w->mapToGlobal(QPointF(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Presses on the picture at `from`, moves with the button down to `to` (both in the picture's
// own pixels as they are when the move starts) and releases there.
void drag(QWidget* picture, QPoint from, QPoint to) {
    sendMouse(picture, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(picture, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(picture, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

class Form2Test : public ::testing::Test {
protected:
    void SetUp() override {
        m_work.write(u"qvtemp00000001.xls"_s, "generated workbook");
        m_workbook = m_work.file(u"qvtemp00000001.xls"_s);
        Form2::Hooks hooks;
        hooks.showMainWindow = [this] { m_events << u"main"_s; };
        hooks.saveLists = [this] { m_events << u"lists"_s; };
        hooks.endProgram = [this] { m_events << u"end"_s; };
        hooks.programFolder = m_programFolder.path();
        m_form = std::make_unique<Form2>(m_prompt, hooks);
    }

    // What "Create Template" does: hand over, show, and let the window become active.
    void present(const QImage& picture) {
        m_form->handOver(picture, m_workbook);
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
        ASSERT_FALSE(m_form->view().firstShow());
    }

    template <class T> T* child(const QString& name) const {
        T* w = m_form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QWidget* picture1() const { return child<QWidget>(u"Picture1"_s); }
    QScrollBar* hbar() const { return child<QScrollBar>(u"HScroll1"_s); }
    QScrollBar* vbar() const { return child<QScrollBar>(u"VScroll1"_s); }
    void zoomIn(int times = 1) {
        for (int i = 0; i < times; ++i) {
            child<QPushButton>(u"PushButton1"_s)->click();
        }
    }
    void zoomOut(int times = 1) {
        for (int i = 0; i < times; ++i) {
            child<QPushButton>(u"PushButton2"_s)->click();
        }
    }

    test::TempDir m_work;
    test::TempDir m_programFolder;
    QString m_workbook;
    ScriptedPrompt m_prompt;
    QStringList m_events;
    std::unique_ptr<Form2> m_form;
};

} // namespace

TEST_F(Form2Test, LayoutCaptionsFontsAndColours) {
    present(sheetPicture(2000, 900));
    EXPECT_EQ(m_form->size(), QSize(656, 624));
    EXPECT_EQ(m_form->minimumSize(), m_form->maximumSize());
    EXPECT_EQ(m_form->windowTitle(), u"Markwell Software"_s);
    const QRect centre = m_form->screen()->availableGeometry();
    EXPECT_LE((m_form->geometry().center() - centre.center()).manhattanLength(), 2);

    EXPECT_EQ(child<QWidget>(u"Picture2"_s)->geometry(), QRect(8, 8, 622, 495));
    EXPECT_EQ(vbar()->geometry(), QRect(630, 8, 17, 495));
    EXPECT_EQ(hbar()->geometry(), QRect(8, 503, 622, 17));
    auto* frame = child<QGroupBox>(u"Frame1"_s);
    EXPECT_EQ(frame->geometry(), QRect(8, 524, 640, 57));
    EXPECT_EQ(frame->title(), u"Zoom:"_s);
    struct Button {
        const char16_t* name;
        const char16_t* caption;
        QWidget* parent;
        QRect rect;
    };
    const Button buttons[] = {
        {u"PushButton1", u"Zoom In", frame, QRect(16, 20, 296, 27)},
        {u"PushButton2", u"Zoom Out", frame, QRect(320, 20, 304, 27)},
        {u"PushButton8", u"< Back", m_form.get(), QRect(8, 590, 312, 27)},
        {u"PushButton6", u"Save Results To Excel File", m_form.get(), QRect(328, 590, 320, 27)},
    };
    for (const Button& b : buttons) {
        auto* w = child<QPushButton>(QString::fromUtf16(b.name));
        EXPECT_EQ(w->text(), QString::fromUtf16(b.caption));
        EXPECT_EQ(w->parentWidget(), b.parent);
        EXPECT_EQ(w->geometry(), b.rect);
        EXPECT_EQ(w->font().family(), u"Arial"_s);
        EXPECT_TRUE(w->font().bold());
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 11.25);
    }
    EXPECT_TRUE(m_form->font().bold());
    EXPECT_DOUBLE_EQ(m_form->font().pointSizeF(), 9.0);
    EXPECT_FALSE(child<QWidget>(u"Zoom_Ori"_s)->isVisible());

    // The window takes the button-face colour; the viewport and the picture stay white.
    const QColor face = QPalette().color(QPalette::Button);
    EXPECT_EQ(m_form->palette().color(QPalette::Window), face);
    EXPECT_EQ(frame->palette().color(QPalette::Window), face);
    EXPECT_EQ(child<QWidget>(u"Picture2"_s)->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(picture1()->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(m_form->pointer().hasCustomCursor()); // no HAND-M.CUR: no message either
    EXPECT_TRUE(m_prompt.shown().empty());

    const QImage shot = m_form->grab().toImage();
    EXPECT_EQ(shot.pixel(20, 20), qRgb(255, 0, 0)); // the picture at the viewport's corner
    shot.save(u"/tmp/markwell-preview.png"_s);
}

TEST_F(Form2Test, CursorFileKeepsItsHotSpotAndAnUnreadableOneIsReported) {
    // Loaded as the main window loads it: the file's own hot spot.
    m_programFolder.write(u"HAND-M.CUR"_s, test::cursorFileBytes(QSize(32, 32), QPoint(12, 5)));
    Form2::Hooks hooks;
    hooks.programFolder = m_programFolder.path();
    {
        Form2 form(m_prompt, hooks);
        EXPECT_TRUE(m_prompt.shown().empty()) << m_prompt.messageTexts().join(u"\n"_s).toStdString();
        ASSERT_TRUE(form.pointer().hasCustomCursor());
        EXPECT_EQ(form.pointer().cursorFor(WindowPointer::State::Custom).hotSpot(), QPoint(12, 5));
    }
    // A file that is no cursor is reported, as the main window reports it.
    m_programFolder.write(u"HAND-M.CUR"_s, "not a cursor");
    Form2 form(m_prompt, hooks);
    ASSERT_EQ(m_prompt.messageTexts().size(), 1);
    const QString text = m_prompt.messageTexts()[0];
    EXPECT_EQ(m_prompt.shown()[0].caption, u"Application Error"_s);
    EXPECT_TRUE(text.startsWith(u"The cursor file \""_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"HAND-M.CUR"_s));
    EXPECT_TRUE(text.contains(u"in Ledgerly2021/08/31.Form2.Form_Load at line 110"_s)) << text.toStdString();
    EXPECT_FALSE(form.pointer().hasCustomCursor());
}

TEST_F(Form2Test, FirstShowOfAPictureThatFits) {
    const QImage picture = sheetPicture(300, 200);
    present(picture);
    EXPECT_EQ(m_form->view().zoom(), 1.0f);
    EXPECT_EQ(picture1()->geometry(), QRect(0, 0, 300, 200));
    EXPECT_FALSE(hbar()->isEnabled());
    EXPECT_FALSE(vbar()->isEnabled());
    EXPECT_EQ(m_form->view().hStep(), 0);
    EXPECT_EQ(m_form->view().vStep(), 0);
    picture1()->clearFocus(); // the focus marker is drawn over the picture's edge
    EXPECT_EQ(picture1()->grab().toImage().convertToFormat(QImage::Format_RGB32), picture);
    // At its own size the picture is shown from the same pixels, not from a copy.
    auto* shown = qobject_cast<PictureBox*>(picture1());
    auto* original = child<PictureBox>(u"Zoom_Ori"_s);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->picture().constBits(), original->picture().constBits());
    EXPECT_TRUE(m_prompt.shown().empty());
}

TEST_F(Form2Test, FirstShowOfPicturesThatOverflow) {
    present(sheetPicture(2000, 900));
    EXPECT_EQ(picture1()->geometry(), QRect(0, 0, 2000, 900));
    EXPECT_TRUE(hbar()->isEnabled());
    EXPECT_TRUE(vbar()->isEnabled());
    EXPECT_EQ(hbar()->maximum(), 2067);
    EXPECT_EQ(vbar()->maximum(), 607);
    EXPECT_EQ(hbar()->value(), 0);
    // The bars move the picture by ten twips a unit.
    hbar()->setValue(2067);
    vbar()->setValue(300);
    EXPECT_EQ(picture1()->pos(), QPoint(-1378, -200));
    EXPECT_EQ(picture1()->x() + picture1()->width(), 622); // the far edge at the viewport's outer width

    // 628 pixels is 88 twips too wide: one twip a unit.
    present(sheetPicture(628, 100));
    EXPECT_EQ(hbar()->maximum(), 88);
    EXPECT_EQ(m_form->view().hStep(), 1);
    EXPECT_FALSE(vbar()->isEnabled());
    EXPECT_EQ(picture1()->pos(), QPoint(0, 0));
}

TEST_F(Form2Test, ZoomOutToAQuarterAndInToThreeAndThreeQuarters) {
    present(sheetPicture(300, 200));
    zoomOut(3);
    EXPECT_EQ(m_form->view().zoom(), 0.25f);
    EXPECT_EQ(picture1()->size(), QSize(75, 50));
    zoomOut();
    EXPECT_EQ(m_form->view().zoom(), 0.25f);
    EXPECT_EQ(picture1()->size(), QSize(75, 50));

    zoomIn(3);
    EXPECT_EQ(m_form->view().zoom(), 1.0f);
    zoomIn(11);
    EXPECT_EQ(m_form->view().zoom(), 3.75f);
    EXPECT_EQ(picture1()->size(), QSize(1124, 749));
    const QImage drawn = picture1()->grab().toImage();
    EXPECT_EQ(drawn.pixel(100, 100), qRgb(255, 0, 0));
    EXPECT_EQ(drawn.pixel(1000, 700), qRgb(0, 0, 255));
    zoomIn();
    EXPECT_EQ(m_form->view().zoom(), 3.75f);

    // The bars follow the zoomed picture and reach its far corner.
    ASSERT_TRUE(hbar()->isEnabled());
    ASSERT_TRUE(vbar()->isEnabled());
    hbar()->setValue(hbar()->maximum());
    vbar()->setValue(vbar()->maximum());
    EXPECT_EQ(picture1()->x() + picture1()->width(), 622);
    EXPECT_EQ(picture1()->y() + picture1()->height(), 495);
    EXPECT_TRUE(m_prompt.shown().empty());
}

TEST_F(Form2Test, SizeLimitKeepsThePictureAndReturnsToOne) {
    present(sheetPicture(9000, 10));
    zoomIn(10);
    ASSERT_EQ(m_form->view().zoom(), 3.5f);
    const QRect drawn = picture1()->geometry();
    const int max = hbar()->maximum();
    EXPECT_EQ(drawn.width(), 31500);
    zoomIn(); // 3.75 would be 33750 pixels wide
    EXPECT_EQ(m_form->view().zoom(), 1.0f);
    EXPECT_EQ(picture1()->geometry(), drawn);
    EXPECT_EQ(hbar()->maximum(), max);
    zoomIn();
    EXPECT_EQ(m_form->view().zoom(), 1.25f);
    EXPECT_EQ(picture1()->width(), 11250);

    // A snapshot already beyond the limit stays unscaled; only 0.75 can be drawn.
    present(sheetPicture(40000, 4));
    EXPECT_EQ(picture1()->width(), 40000);
    zoomIn();
    EXPECT_EQ(m_form->view().zoom(), 1.0f);
    EXPECT_EQ(picture1()->width(), 40000);
    zoomOut();
    EXPECT_EQ(m_form->view().zoom(), 0.75f);
    EXPECT_EQ(picture1()->width(), 30000);
    EXPECT_TRUE(m_prompt.shown().empty());
}

TEST_F(Form2Test, DragClampsAndReleaseSync) {
    // 700 x 520 pixels: a little larger than the viewport's 620 x 493 drawing area.
    present(sheetPicture(700, 520));
    drag(picture1(), QPoint(100, 100), QPoint(-5000, -5000));
    EXPECT_EQ(picture1()->pos(), QPoint(-80, -27));
    // The release comes out above 100 per cent both ways: the bars and the picture stay.
    EXPECT_EQ(hbar()->value(), 0);
    EXPECT_EQ(vbar()->value(), 0);
    drag(picture1(), QPoint(100, 100), QPoint(5000, 5000));
    EXPECT_EQ(picture1()->pos(), QPoint(0, 0));

    // A release in the middle puts the bar on the nearest value and the picture with it.
    present(sheetPicture(2000, 900));
    drag(picture1(), QPoint(700, 300), QPoint(11, 300)); // 689 px = 10335 twips, half the overflow
    EXPECT_EQ(hbar()->value(), 1034);
    EXPECT_EQ(picture1()->x(), -689);
    // Without a button down the picture does not move.
    sendMouse(picture1(), QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(picture1()->x(), -689);

    // Smaller than the viewport: left or up goes to the far inner edge, right or down to 0.
    present(sheetPicture(300, 200));
    drag(picture1(), QPoint(50, 50), QPoint(10, 10));
    EXPECT_EQ(picture1()->pos(), QPoint(320, 293));
    EXPECT_FALSE(hbar()->isEnabled());
    EXPECT_EQ(hbar()->value(), 0);
    drag(picture1(), QPoint(50, 50), QPoint(60, 60));
    EXPECT_EQ(picture1()->pos(), QPoint(0, 0));
    EXPECT_TRUE(m_prompt.shown().empty());
}

TEST_F(Form2Test, HandOverWithoutAPictureStaysUsable) {
    present(QImage());
    EXPECT_EQ(picture1()->geometry(), QRect(0, 0, 156, 229));
    EXPECT_EQ(picture1()->grab().toImage().pixel(10, 10), qRgb(255, 255, 255));
    const QStringList reports = m_prompt.messageTexts();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains(u"\r\nin Ledgerly2021/08/31.Form2.RedrawImage at line 104\r\r"_s))
        << reports[0].toStdString();
    EXPECT_EQ(m_prompt.shown()[0].caption, u"Application Error"_s);
    EXPECT_FALSE(hbar()->isEnabled());

    m_prompt.clear();
    m_prompt.chooseFileNext(m_work.file(u"saved.xls"_s));
    child<QPushButton>(u"PushButton6"_s)->click();
    EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});
    EXPECT_EQ(m_work.read(u"saved.xls"_s), QByteArray("generated workbook"));

    child<QPushButton>(u"PushButton8"_s)->click();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(m_events, QStringList{u"main"_s});
}

TEST_F(Form2Test, ReactivationResetsNothing) {
    present(sheetPicture(2000, 900));
    zoomIn();
    hbar()->setValue(40);
    drag(picture1(), QPoint(100, 100), QPoint(100, 50));
    const QRect where = picture1()->geometry();
    const int h = hbar()->value();
    const int v = vbar()->value();
    child<QPushButton>(u"PushButton6"_s)->click(); // a cancelled dialog and "Done."
    m_form->Form_Activate();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(m_form.get(), &activate);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_form->view().zoom(), 1.25f);
    EXPECT_EQ(picture1()->geometry(), where);
    EXPECT_EQ(hbar()->value(), h);
    EXPECT_EQ(vbar()->value(), v);
}

TEST_F(Form2Test, BackDeletesTheWorkbookAndASecondHandOverStartsAfresh) {
    present(sheetPicture(2000, 900));
    zoomIn(2);
    hbar()->setValue(100);
    child<QPushButton>(u"PushButton8"_s)->click();
    EXPECT_FALSE(QFile::exists(m_workbook));
    EXPECT_EQ(m_events, QStringList{u"main"_s});
    EXPECT_FALSE(m_form->isVisible());

    m_work.write(u"qvtemp00000002.xls"_s, "second workbook");
    m_workbook = m_work.file(u"qvtemp00000002.xls"_s);
    present(sheetPicture(700, 300));
    EXPECT_EQ(m_form->excelFile(), m_workbook);
    EXPECT_EQ(m_form->view().zoom(), 1.0f);
    EXPECT_EQ(picture1()->geometry(), QRect(0, 0, 700, 300));
    EXPECT_EQ(hbar()->maximum(), 117); // (10498 - 9330) / 10
    EXPECT_EQ(hbar()->value(), 0);
    EXPECT_FALSE(vbar()->isEnabled());
    EXPECT_EQ(child<QWidget>(u"Zoom_Ori"_s)->size(), QSize(700, 300));
}

TEST_F(Form2Test, ClosingDeletesTheWorkbookSavesTheListsAndEnds) {
    present(sheetPicture(300, 200));
    m_form->close();
    EXPECT_FALSE(QFile::exists(m_workbook));
    EXPECT_EQ(m_events, (QStringList{u"lists"_s, u"end"_s}));
    EXPECT_TRUE(m_prompt.shown().empty());
}

TEST_F(Form2Test, PointerRulesLeaveTheBusyStateAlone) {
    present(sheetPicture(300, 200));
    using State = WindowPointer::State;
    auto over = [&](QWidget* w) { sendMouse(w, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton); };
    over(child<QPushButton>(u"PushButton6"_s));
    EXPECT_EQ(m_form->pointer().state(), State::Custom);
    over(child<QWidget>(u"Frame1"_s));
    EXPECT_EQ(m_form->pointer().state(), State::Default);
    over(child<QPushButton>(u"PushButton1"_s));
    EXPECT_EQ(m_form->pointer().state(), State::Custom);
    over(m_form.get());
    EXPECT_EQ(m_form->pointer().state(), State::Default);
    m_form->pointer().setState(State::Busy);
    over(child<QPushButton>(u"PushButton8"_s));
    over(m_form.get());
    EXPECT_EQ(m_form->pointer().state(), State::Busy);
    // A redraw sets the default pointer whatever the state.
    zoomIn();
    EXPECT_EQ(m_form->pointer().state(), State::Default);
}
