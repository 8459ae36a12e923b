#include "app/Form1.h"

#include "app/HelpMessage.h"
#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "os/Files.h"
#include "setup/ListCodec.h"
#include "setup/PointsText.h"
#include "setup/RosterImport.h"
#include "setup/RosterText.h"
#include "setup/SampleData.h"
#include "setup/SettingsStore.h"
#include "setup/SetupEditing.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"
#include "shell/AppIcon.h"
#include "shell/AppTitle.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QValidator>

#include <cmath>
#include <optional>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

const QString kLoc = u"in Ledgerly2021/08/31.Form1."_s;
QString location(const char16_t* routine) {
    return kLoc + QString::fromUtf16(routine) + u" "_s;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// Refuses any edit that would put a list separator into a field that goes into a stored list,
// whether typed or pasted, and says why next to the field.
class ListFieldValidator : public QValidator {
public:
    explicit ListFieldValidator(QLineEdit* field) : QValidator(field), m_field(field) {}

    State validate(QString& input, int& /*pos*/) const override {
        if (!containsListSeparator(input)) {
            return Acceptable;
        }
        QToolTip::showText(m_field->mapToGlobal(QPoint(0, m_field->height())),
                           u"The characters | and ^ cannot be used in this field."_s, m_field);
        return Invalid;
    }

private:
    QLineEdit* m_field;
};

// A group box drawn as a classic frame: its line runs through the middle of its caption, which
// interrupts it. The fields inside keep their places from the frame's top edge, and the line
// stays above the first of them whatever height the style would give the caption.
class CaptionFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

    // Where the line runs, in the frame's own pixels.
    int lineTop() const { return QFontMetrics(font()).height() / 2; }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        QStyleOptionFrame line;
        line.initFrom(this);
        line.rect = rect().adjusted(0, lineTop(), 0, 0);
        line.frameShape = QFrame::StyledPanel;
        line.lineWidth = 1;
        line.midLineWidth = 0;
        style()->drawPrimitive(QStyle::PE_Frame, &line, &painter, this);

        const QFontMetrics fm(font());
        constexpr int kIndent = 6, kGap = 2;
        const QRect caption(kIndent, 0, fm.horizontalAdvance(title()) + 2 * kGap, fm.height());
        painter.fillRect(caption, palette().window());
        style()->drawItemText(&painter, caption.adjusted(kGap, 0, -kGap, 0), Qt::AlignLeft | Qt::AlignVCenter,
                              palette(), isEnabled(), title(), QPalette::WindowText);
    }
};

// Points that will not count in the workbook are shown in another colour and slanted; the model
// gives the tooltip that says why.
class PointsMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(kPointsWillNotCountRole).toBool()) {
            option->palette.setColor(QPalette::Text, QColor(0xC0, 0x00, 0x00));
            option->font.setItalic(true);
        }
    }
};

// The one local .csv or .txt file being dragged, or an empty text.
QString rosterFileIn(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return {};
    }
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) {
        return {};
    }
    const QString path = urls.first().toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"csv"_s || suffix == u"txt"_s ? path : QString();
}

QFont windowFont() {
    QFont font(u"Arial"_s);
    font.setPointSizeF(9);
    font.setBold(true);
    return font;
}

QFont buttonFont() {
    QFont font(u"Arial"_s);
    font.setPointSizeF(11.25);
    font.setBold(true);
    return font;
}

} // namespace

int twipsToPixels(int twips) {
    return static_cast<int>(std::nearbyint(twips / 15.0));
}

Form1::Form1(Dependencies deps, QWidget* parent)
    : QWidget(parent), m_prompt(deps.prompt), m_store(deps.store), m_hostFactory(std::move(deps.hostFactory)),
      m_draw(std::move(deps.drawOneToHundred)), m_openUrl(std::move(deps.openUrl)),
      m_endProgram(std::move(deps.endProgram)), m_programFolder(std::move(deps.programFolder)), m_pointer(*this) {
    if (!m_draw) {
        m_draw = [] { return static_cast<int>(QRandomGenerator::global()->bounded(1, 101)); };
    }
    if (!m_openUrl) {
        m_openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    }
    if (!m_endProgram) {
        m_endProgram = [] { QCoreApplication::quit(); };
    }
    if (m_programFolder.isEmpty()) {
        m_programFolder = programFolder();
    }
    m_clipboard.read = [] { return QGuiApplication::clipboard()->text(); };
    m_clipboard.write = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    m_tests = new TestsModel(this);
    m_students = new StudentsModel(this);
    buildLayout();
    wireUp();
}

Form1::~Form1() = default;

void Form1::buildLayout() {
    setObjectName(u"Form1"_s);
    setFont(windowFont());
    setFixedSize(twipsToPixels(9600), twipsToPixels(8460));
    // Designed on white, unless the user's scheme needs its own ground to stay readable; the skin,
    // when present, recolours it.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, readableGround(pal, Qt::white));
    setPalette(pal);
    setAutoFillBackground(true);

    auto button = [this](QWidget* parent, QPushButton*& slot, const char16_t* name, const QString& caption,
                         QRect geometry) {
        slot = new QPushButton(caption, parent);
        slot->setObjectName(QString::fromUtf16(name));
        slot->setFont(buttonFont());
        slot->setGeometry(geometry);
        slot->setAutoDefault(false);
    };
    // A text field with its label, right-aligned so that it ends just left of the field. A
    // caption too wide for one line is given two.
    auto field = [](QWidget* parent, QLineEdit*& slot, const char16_t* name, const QString& caption, QRect geometry,
                    bool twoLines = false) {
        slot = new QLineEdit(parent);
        slot->setObjectName(QString::fromUtf16(name));
        slot->setGeometry(geometry);
        auto* label = new QLabel(caption, parent);
        label->setObjectName(u"lbl"_s + QString::fromUtf16(name));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        constexpr int kGap = 4, kMargin = 4;
        const int width = geometry.left() - kGap - kMargin;
        const QFontMetrics fm(label->font());
        if (twoLines || fm.horizontalAdvance(caption) > width) {
            label->setWordWrap(true);
            const int height = 2 * fm.lineSpacing() + 2;
            label->setGeometry(kMargin, geometry.center().y() - height / 2 + 1, width, height);
        } else {
            label->setGeometry(kMargin, geometry.top(), width, geometry.height());
        }
        label->setBuddy(slot);
        return label;
    };

    button(this, PushButton6, u"PushButton6", u"Create Template"_s, twipsRect(120, 120, 9360, 405));
    button(this, PushButton8, u"PushButton8", u"Help"_s, twipsRect(120, 630, 4560, 405));
    button(this, PushButton9, u"PushButton9", u"Load Sample/Example Data"_s, twipsRect(4800, 630, 4680, 405));

    Frame1 = new CaptionFrame(u"General Options"_s, this);
    Frame1->setObjectName(u"Frame1"_s);
    Frame1->setGeometry(twipsRect(120, 1110, 9360, 2025));
    field(Frame1, txtName, u"txtName", u"Your School Name:"_s, twipsRect(2040, 240, 7005, 345));
    field(Frame1, txtTeachName, u"txtTeachName", u"Teacher Name:"_s, twipsRect(2040, 630, 7005, 345));
    field(Frame1, txtProject, u"txtProject", u"Class/Project:"_s, twipsRect(2040, 1020, 7005, 345));
    field(Frame1, txtYSQ, u"txtYSQ", u"Year / Semester / Quarter:"_s, twipsRect(2040, 1410, 7005, 345), true);

    // The tab control: a tab bar over a panel that holds the two pages at their own places.
    TabControl1Host = new QWidget(this);
    TabControl1Host->setObjectName(u"TabControl1Host"_s);
    TabControl1Host->setGeometry(twipsRect(120, 3210, 9360, 5145));
    TabControl1 = new QTabBar(TabControl1Host);
    TabControl1->setObjectName(u"TabControl1"_s);
    TabControl1->addTab(u"Tests"_s);
    TabControl1->addTab(u"Students"_s);
    TabControl1->setDrawBase(false);
    TabControl1->setExpanding(false);
    const int barHeight = std::min(TabControl1->sizeHint().height(), twipsToPixels(360));
    TabControl1->setGeometry(0, 0, TabControl1->sizeHint().width(), barHeight);
    auto* panel = new QFrame(TabControl1Host);
    panel->setObjectName(u"TabControl1Panel"_s);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    panel->setGeometry(0, barHeight - 1, TabControl1Host->width(), TabControl1Host->height() - barHeight + 1);
    panel->lower();
    auto page = [this](QFrame*& slot, const char16_t* name) {
        slot = new QFrame(TabControl1Host);
        slot->setObjectName(QString::fromUtf16(name));
        slot->setFrameStyle(QFrame::NoFrame);
        slot->setGeometry(twipsRect(120, 360, 9045, 4680));
    };
    page(Frame2, u"Frame2");
    page(Frame5, u"Frame5");
    Frame2->setAccessibleName(u"Tests"_s);
    Frame5->setAccessibleName(u"Students"_s);

    field(Frame2, txtTest, u"txtTest", u"Assignment or Test Name:"_s, twipsRect(2520, 240, 6285, 345));
    field(Frame2, txtPoints, u"txtPoints", u"Possible Points:"_s, twipsRect(2520, 630, 1560, 345));
    button(Frame2, PushButton1, u"PushButton1", u"Add"_s, twipsRect(2520, 1125, 1560, 405));
    button(Frame2, PushButton2, u"PushButton2", u"Delete Selected"_s, twipsRect(4200, 1125, 2400, 405));
    auto listView = [](QWidget* parent, QTreeView*& slot, const char16_t* name, QAbstractItemModel* model,
                       QRect geometry) {
        slot = new QTreeView(parent);
        slot->setObjectName(QString::fromUtf16(name));
        slot->setModel(model);
        slot->setGeometry(geometry);
        slot->setRootIsDecorated(false);
        slot->setItemsExpandable(false);
        slot->setUniformRowHeights(true);
        slot->setAllColumnsShowFocus(true);
        slot->setSelectionBehavior(QAbstractItemView::SelectRows);
        slot->setSelectionMode(QAbstractItemView::SingleSelection);
        slot->setEditTriggers(QAbstractItemView::NoEditTriggers);
        slot->header()->setStretchLastSection(false);
        slot->header()->setSectionsMovable(false);
        slot->setItemDelegate(new PointsMarkDelegate(slot));
        slot->viewport()->setAcceptDrops(true);
    };
    listView(Frame2, ListView1, u"ListView1", m_tests, twipsRect(135, 1680, 8700, 2850));
    ListView1->setAccessibleName(u"List of tests"_s);
    ListView1->header()->resizeSection(0, twipsToPixels(5500));
    ListView1->header()->resizeSection(1, twipsToPixels(2000));

    field(Frame5, txtStName, u"txtStName", u"Student Name:"_s, twipsRect(2040, 240, 6765, 345));
    field(Frame5, txtStID, u"txtStID", u"Student ID:"_s, twipsRect(2040, 630, 6765, 345));
    Combo1 = new QComboBox(Frame5);
    Combo1->setObjectName(u"Combo1"_s);
    Combo1->setEditable(false);
    {
        const QRect g = twipsRect(2040, 1020, 6765, 0);
        Combo1->setGeometry(g.left(), g.top(), g.width(), twipsToPixels(345));
        auto* label = new QLabel(u"Test:"_s, Frame5);
        label->setObjectName(u"lblCombo1"_s);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setGeometry(4, g.top(), g.left() - 8, twipsToPixels(345));
        label->setBuddy(Combo1);
    }
    field(Frame5, txtStPoints, u"txtStPoints", u"Points:"_s, twipsRect(2040, 1380, 2040, 345));
    button(Frame5, PushButton3, u"PushButton3", u"Add Student"_s, twipsRect(255, 1920, 1920, 405));
    button(Frame5, PushButton5, u"PushButton5", u"Add Test Points"_s, twipsRect(2290, 1920, 2040, 405));
    button(Frame5, PushButton4, u"PushButton4", u"Delete Selected"_s, twipsRect(4445, 1920, 2400, 405));
    button(Frame5, PushButton7, u"PushButton7", u"New"_s, twipsRect(6960, 1920, 1800, 405));
    listView(Frame5, ListView2, u"ListView2", m_students, twipsRect(135, 2415, 8700, 2130));
    ListView2->setAccessibleName(u"List of students"_s);
    RebuildStudentColumns();
    Frame5->hide();

    // Keyboard order.
    const QList<QWidget*> order{txtName,     txtTeachName, txtProject,  txtYSQ,      txtTest,     txtPoints,
                                PushButton1, PushButton2,  ListView1,   txtStName,   txtStID,     Combo1,
                                txtStPoints, PushButton3,  PushButton5, PushButton4, PushButton7, ListView2,
                                PushButton6, Frame1,       TabControl1, PushButton8, PushButton9};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    for (QLineEdit* f : {txtTest, txtPoints, txtStName, txtStID, txtStPoints}) {
        f->setValidator(new ListFieldValidator(f));
    }
}

void Form1::wireUp() {
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(TabControl1, &QTabBar::currentChanged, this, &Form1::TabControl1_Click);

    const std::pair<QLineEdit*, QString> options[] = {{txtName, u"txtName"_s},
                                                      {txtTeachName, u"txtTeachName"_s},
                                                      {txtProject, u"txtProject"_s},
                                                      {txtYSQ, u"txtYSQ"_s}};
    for (const auto& [edit, key] : options) {
        connect(edit, &QLineEdit::textChanged, this, [this, key](const QString& text) { saveOption(key, text); });
    }

    // Each text field selects its whole text when it gets the focus, so typing replaces it.
    for (QLineEdit* f :
         {txtName, txtTeachName, txtProject, txtYSQ, txtTest, txtPoints, txtStName, txtStID, txtStPoints}) {
        f->installEventFilter(this);
    }

    // Pointer feedback: the hand over push buttons, the plain pointer over the background,
    // frames, lists and the general-option fields. Other fields leave the pointer as it is.
    for (QPushButton* b : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6, PushButton7,
                           PushButton8, PushButton9}) {
        installHoverRule(b, m_pointer, true);
    }
    // The plain rule runs only when the pointer is over the element itself, not over a child
    // of it: a move over a push button that the button passes on to its frame must not undo
    // the button's rule.
    m_plainElements = {
        this,    Frame1,       Frame2,     Frame5, ListView1, ListView1->viewport(), ListView2, ListView2->viewport(),
        txtName, txtTeachName, txtProject, txtYSQ};
    for (QWidget* w : m_plainElements) {
        w->setMouseTracking(true);
        if (w != this) {
            w->installEventFilter(this);
        }
    }
}

void Form1::runPlainRule(QWidget* element, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::Enter && type != QEvent::HoverMove) {
        return;
    }
    if (!m_plainElements.contains(element)) {
        return;
    }
    const auto* pointerEvent = static_cast<QSinglePointEvent*>(event);
    if (element->childAt(pointerEvent->position().toPoint()) != nullptr) {
        return;
    }
    SetPlainPointer(m_pointer);
}

bool Form1::event(QEvent* event) {
    runPlainRule(this, event);
    return QWidget::event(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched->isWidgetType()) {
        runPlainRule(static_cast<QWidget*>(watched), event);
    }
    if (handleListEvent(watched, event)) {
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
            // After a mouse click the click itself places the caret; select once it is done.
            QTimer::singleShot(0, edit, [edit] { edit->selectAll(); });
            edit->selectAll();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool Form1::Form_Load() {
    ErrorTrap trap(m_prompt, location(u"Form_Load"));
    trap.step(100, [&] { ApplySkin(*this, m_programFolder); });
    trap.step(102, [&] {
        setWindowTitle(QString::fromUtf16(kProductName));
        exposeAsWindow(*this, QString::fromUtf16(kProductName) + u" - Class setup"_s,
                       u"The school, teacher and class, the tests and the students of a new gradebook."_s);
    });
    trap.step(104, [&] { setWindowIcon(applicationIcon()); });
    trap.step(106, [&] { SetApplicationTitle(); });
    if (trap.test(108, [&] { return FileExists(cursorFilePath(m_programFolder)); })) {
        trap.step(110, [&] { loadCustomPointer(m_pointer, m_programFolder); });
    }
    if (trap.test(112, [&] { return m_draw() == 7; })) {
        trap.step(114, [&] { m_openUrl(QUrl(QString::fromUtf16(kHomePageAddress))); });
    }
    // What could not be read from the store is reported before its values are used.
    trap.setLabel(116);
    for (const QString& problem : m_store.loadProblems()) {
        trap.run([&] { throw Failure(problem); });
    }
    trap.step(118, [&] { txtName->setText(m_store.read(u"txtName"_s)); });
    trap.step(120, [&] { txtTeachName->setText(m_store.read(u"txtTeachName"_s)); });
    trap.step(122, [&] { txtProject->setText(m_store.read(u"txtProject"_s)); });
    trap.step(124, [&] { txtYSQ->setText(m_store.read(u"txtYSQ"_s)); });
    // Stored fields that have no column to go into are gathered from both lists and told in one
    // report, under the label of the first list that had one.
    QStringList dropped;
    int droppedLabel = 0;
    trap.setLabel(126);
    restoreTests(trap, dropped);
    if (!dropped.isEmpty()) {
        droppedLabel = 126;
    }
    trap.step(128, [&] { RefreshTestPicker(); });
    trap.step(130, [&] { RebuildStudentColumns(); });
    trap.setLabel(132);
    restoreStudents(trap, dropped);
    if (!dropped.isEmpty()) {
        trap.setLabel(droppedLabel != 0 ? droppedLabel : 132);
        trap.report(dropped.join(u"\r\n"_s));
    }
    trap.step(134, [&] { selectStoredTab(m_store.read(u"TabSel"_s, u"0"_s)); });
    bool hostAvailable = true;
    trap.step(136, [&] {
        hostAvailable = checkHostInstalled(
            m_hostFactory ? m_hostFactory : HostFactory([] { return std::unique_ptr<SpreadsheetHost>(); }));
    });
    if (!hostAvailable) {
        m_prompt.message(hostUnavailableMessageText());
        m_ended = true;
        return false;
    }
    return true;
}

void Form1::restoreTests(ErrorTrap& trap, QStringList& dropped) {
    DecodedList<TestRow> decoded;
    trap.run([&] { decoded = decodeTests(m_store.read(u"Tests"_s)); });
    for (const TestRow& row : decoded.rows) {
        trap.run([&] { m_tests->append(row); });
    }
    dropped << decoded.problems;
}

void Form1::restoreStudents(ErrorTrap& trap, QStringList& dropped) {
    DecodedList<StudentRow> decoded;
    trap.run([&] { decoded = decodeStudents(m_store.read(u"Students"_s), m_students->testColumns().size()); });
    for (const StudentRow& row : decoded.rows) {
        trap.run([&] {
            const qsizetype at = m_students->append(row.name);
            m_students->setField(at, 1, row.id);
            for (qsizetype k = 0; k < row.points.size(); ++k) {
                m_students->setField(at, k + 2, row.points[k]);
            }
        });
    }
    dropped << decoded.problems;
}

void Form1::selectStoredTab(const QString& stored) {
    bool ok = false;
    const int index = stored.toInt(&ok);
    if (!ok || index < 0 || index >= TabControl1->count()) {
        throw Failure(u"The stored tab \"%1\" (setting \"TabSel\") names no tab of the main window; it must be 0 "
                      u"(Tests) or 1 (Students)."_s.arg(stored));
    }
    TabControl1->setCurrentIndex(index);
}

void Form1::RefreshTestPicker() {
    Combo1->clear();
    Combo1->addItems(m_tests->names());
    Combo1->setCurrentIndex(-1);
}

void Form1::RebuildStudentColumns() {
    // Cells of new columns start unselected: the row the user had selected is selected whole
    // again, so that it still counts as selected.
    const qsizetype selected = selectedRow(*ListView2);
    m_students->setTestColumns(m_tests->names());
    if (selected >= 0 && selected < m_students->size()) {
        ListView2->selectionModel()->select(m_students->index(static_cast<int>(selected), 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QHeaderView* header = ListView2->header();
    header->resizeSection(0, twipsToPixels(3000));
    header->resizeSection(1, twipsToPixels(1500));
    for (int c = 2; c < header->count(); ++c) {
        header->resizeSection(c, header->defaultSectionSize());
    }
}

void Form1::TabControl1_Click(int index) {
    saveQuietly(u"TabSel"_s, QString::number(index));
    Frame2->setVisible(index == 0);
    Frame5->setVisible(index == 1);
    RefreshTestPicker();
    RebuildStudentColumns();
}

void Form1::saveOption(const QString& key, const QString& text) {
    saveQuietly(key, text);
}

// Saving outside a trapped routine: a failure is told once, not on every keystroke, until a
// save succeeds again.
void Form1::saveQuietly(const QString& key, const QString& value) {
    try {
        m_store.save(key, value);
        m_lastStoreFailure.clear();
    } catch (...) {
        const QString why = describeCurrentException();
        if (why != m_lastStoreFailure) {
            m_lastStoreFailure = why;
            m_prompt.message(why);
        }
    }
}

// The row the user sees selected: any selected cell counts for its row, also when only some of
// the row's cells are selected.
qsizetype Form1::selectedRow(const QTreeView& view) {
    const QModelIndexList cells = view.selectionModel()->selectedIndexes();
    return cells.isEmpty() ? -1 : cells.first().row();
}

void Form1::PushButton1_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton1_Click"));
    EditOutcome outcome = EditOutcome::Nothing;
    trap.step(100, [&] { outcome = addTest(*m_tests, txtTest->text(), txtPoints->text()); });
    if (outcome == EditOutcome::MissingTestAndPoints) {
        m_prompt.message(messageFor(outcome));
        return;
    }
    // The inputs are emptied only when the test went in, so nothing typed is lost.
    if (outcome == EditOutcome::Done) {
        trap.step(102, [&] { txtTest->clear(); });
        trap.step(104, [&] { txtPoints->clear(); });
    }
}

void Form1::PushButton2_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton2_Click"));
    trap.step(100, [&] { deleteSelectedTest(*m_tests, *m_students, selectedRow(*ListView1)); });
}

void Form1::PushButton3_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton3_Click"));
    EditOutcome outcome = EditOutcome::Nothing;
    trap.step(100, [&] {
        outcome =
            addStudent(*m_students, txtStName->text(), txtStID->text(), txtStPoints->text(), Combo1->currentIndex());
    });
    if (outcome == EditOutcome::NoTestChosen) {
        m_prompt.message(QString::fromUtf16(kStudentAddedWithoutPointsMessage));
    }
}

void Form1::PushButton4_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton4_Click"));
    trap.step(100, [&] { deleteSelectedStudent(*m_students, selectedRow(*ListView2)); });
}

void Form1::PushButton5_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton5_Click"));
    EditOutcome outcome = EditOutcome::Nothing;
    trap.step(100, [&] { outcome = addTestPoints(*m_students, txtStPoints->text(), Combo1->currentIndex()); });
    const QString message = messageFor(outcome);
    if (!message.isEmpty()) {
        m_prompt.message(message);
    }
}

void Form1::PushButton6_Click() {
    if (m_createTemplate) {
        m_createTemplate();
    }
}

void Form1::PushButton7_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton7_Click"));
    trap.step(100, [&] { txtStName->clear(); });
    trap.step(102, [&] { txtStID->clear(); });
    trap.step(104, [&] { txtStPoints->clear(); });
}

void Form1::PushButton8_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton8_Click"));
    trap.step(100, [&] { m_prompt.message(helpMessageText()); });
}

void Form1::PushButton9_Click() {
    ErrorTrap trap(m_prompt, location(u"PushButton9_Click"));
    const GeneralOptions options = SampleData::options();
    const auto tests = SampleData::tests();
    trap.step(100, [&] { txtName->setText(options.name); });
    trap.step(102, [&] { txtTeachName->setText(options.teacherName); });
    trap.step(104, [&] { txtProject->setText(options.project); });
    trap.step(106, [&] { txtYSQ->setText(options.ysq); });
    for (const TestRow& test : tests) {
        trap.step(108, [&] {
            txtTest->setText(test.name);
            txtPoints->setText(test.possiblePoints);
        });
        trap.step(110, [&] { m_tests->append(TestRow{txtTest->text(), txtPoints->text()}); });
    }
    trap.step(112, [&] {
        const StudentRow student = SampleData::student();
        txtStName->setText(student.name);
        txtStID->setText(student.id);
        txtStPoints->setText(QString::fromUtf16(kSampleStudentPoints));
    });
    // The student gets the points for every test the picker holds now; the sample tests only
    // reach the picker at the next tab change.
    trap.step(114, [&] { appendSampleStudent(*m_students, Combo1->count()); });
    trap.step(116, [&] { Combo1->setCurrentIndex(Combo1->count() - 1); });
}

QTreeView* Form1::listView(ListKind list) const {
    return list == ListKind::Tests ? ListView1 : ListView2;
}

// The copy and paste keys on a list, and files dragged onto it (drag events reach the list's
// viewport).
bool Form1::handleListEvent(QObject* watched, QEvent* event) {
    ListKind list = ListKind::Tests;
    if (watched == ListView2 || watched == ListView2->viewport()) {
        list = ListKind::Students;
    } else if (watched != ListView1 && watched != ListView1->viewport()) {
        return false;
    }
    const bool onList = watched == listView(list);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool paste = key->matches(QKeySequence::Paste);
        if (!onList || (!paste && !key->matches(QKeySequence::Copy))) {
            return false;
        }
        // Accepting the override makes the key come to the list as a key press.
        key->accept();
        if (event->type() == QEvent::KeyPress) {
            if (paste) {
                PasteRows(list);
            } else {
                CopyRows(list);
            }
        }
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        if (onList) {
            return false;
        }
        auto* drag = static_cast<QDropEvent*>(event);
        if (rosterFileIn(drag->mimeData()).isEmpty()) {
            drag->ignore();
        } else {
            drag->acceptProposedAction();
        }
        return true;
    }
    case QEvent::Drop: {
        if (onList) {
            return false;
        }
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = rosterFileIn(drop->mimeData());
        if (path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The question comes once the drop is over, so the program the file came from is not
        // kept waiting for the answer.
        QTimer::singleShot(0, this, [this, list, path] { DropFile(list, path); });
        return true;
    }
    default:
        return false;
    }
}

void Form1::PasteRows(ListKind list) {
    ErrorTrap trap(m_prompt, location(list == ListKind::Tests ? u"ListView1_Paste" : u"ListView2_Paste"));
    QString text;
    trap.step(100, [&] {
        if (m_clipboard.read) {
            text = m_clipboard.read();
        }
    });
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kMaxRosterBytes) {
        m_prompt.message(
            u"The pasted text is larger than %1 bytes, more than any class needs. Nothing was added."_s.arg(
                QString::number(kMaxRosterBytes)));
        return;
    }
    takeRows(list, bytes, u"the pasted text"_s, trap);
}

void Form1::DropFile(ListKind list, const QString& path) {
    ErrorTrap trap(m_prompt, location(list == ListKind::Tests ? u"ListView1_Drop" : u"ListView2_Drop"));
    os::Result<QByteArray> bytes = os::Reason{};
    trap.step(100, [&] { bytes = os::readFileBounded(path, kMaxRosterBytes, true); });
    if (!bytes) {
        m_prompt.message(
            u"\"%1\" cannot be read: %2. Nothing was added."_s.arg(QDir::toNativeSeparators(path), bytes.reason()));
        return;
    }
    takeRows(list, *bytes, u"\"%1\""_s.arg(QFileInfo(path).fileName()), trap);
}

// One question, then all the rows that can be taken or none.
void Form1::takeRows(ListKind list, QByteArrayView bytes, const QString& source, ErrorTrap& trap) {
    auto agreed = [this](const RosterOffer& offer) {
        if (!offer.canAdd) {
            m_prompt.message(offer.text);
            return false;
        }
        return m_prompt.askYesNo(offer.text) == Prompt::Answer::Yes;
    };
    RosterRules rules;
    rules.refuseListSeparators = true;
    if (list == ListKind::Tests) {
        rules.room = kMaxListRows - m_tests->size();
        RosterRows<TestRow> roster;
        trap.step(102, [&] { roster = readTestsRoster(bytes, rules); });
        if (agreed(offerTests(roster, source))) {
            trap.step(104, [&] { m_tests->appendRows(roster.rows); });
            trap.step(106, [&] { ListView1->scrollToBottom(); });
        }
        return;
    }
    rules.room = kMaxListRows - m_students->size();
    rules.testCount = m_students->testColumns().size();
    RosterRows<StudentRow> roster;
    trap.step(102, [&] { roster = readStudentsRoster(bytes, rules); });
    if (agreed(offerStudents(roster, source))) {
        trap.step(104, [&] { appendStudents(*m_students, roster.rows); });
        trap.step(106, [&] { ListView2->scrollToBottom(); });
    }
}

void Form1::CopyRows(ListKind list) {
    ErrorTrap trap(m_prompt, location(list == ListKind::Tests ? u"ListView1_Copy" : u"ListView2_Copy"));
    trap.step(100, [&] {
        const QTreeView* view = listView(list);
        const QAbstractItemModel* model = view->model();
        std::set<int> chosen;
        for (const QModelIndex& cell : view->selectionModel()->selectedIndexes()) {
            chosen.insert(cell.row());
        }
        if (chosen.empty()) {
            for (int r = 0; r < model->rowCount(); ++r) {
                chosen.insert(r);
            }
        }
        const int columns = model->columnCount();
        QStringList captions;
        for (int c = 0; c < columns; ++c) {
            captions << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        }
        std::vector<QStringList> rows;
        rows.reserve(chosen.size());
        for (const int r : chosen) {
            QStringList fields;
            for (int c = 0; c < columns; ++c) {
                fields << model->index(r, c).data(Qt::DisplayRole).toString();
            }
            rows.push_back(std::move(fields));
        }
        if (m_clipboard.write) {
            m_clipboard.write(tabSeparatedText(captions, rows));
        }
    });
}

void Form1::saveLists() {
    ErrorTrap trap(m_prompt, location(u"Form_QueryUnload"));
    trap.step(100, [&] { m_store.save(u"Tests"_s, encodeTests(m_tests->rows())); });
    trap.step(102, [&] { m_store.save(u"Students"_s, encodeStudents(m_students->rows(), Combo1->count())); });
}

void Form1::Form_QueryUnload() {
    saveLists();
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_ended) {
        Form_QueryUnload();
        endProgram();
    }
    event->accept();
}

void Form1::endProgram() {
    m_ended = true;
    m_endProgram();
}

GradebookSetup Form1::currentSetup() const {
    GradebookSetup setup;
    setup.options = GeneralOptions{txtName->text(), txtTeachName->text(), txtProject->text(), txtYSQ->text()};
    setup.tests = m_tests->rows();
    setup.pointsCount = Combo1->count();
    setup.students.reserve(m_students->rows().size());
    for (const StudentRow& s : m_students->rows()) {
        StudentRow row{s.name, s.id, {}};
        for (qsizetype k = 0; k < setup.pointsCount; ++k) {
            row.points << s.pointsFor(k);
        }
        setup.students.push_back(std::move(row));
    }
    return setup;
}

} // namespace markwell
