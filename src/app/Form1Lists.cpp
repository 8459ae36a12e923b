#include "app/Form1.h"
#include "app/ListCells.h"
#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Platform.h"
#include "common/Prompt.h"
#include "setup/ListAutosave.h"
#include "setup/ListCodec.h"
#include "setup/ListHistory.h"
#include "setup/RosterImport.h"
#include "setup/RosterText.h"
#include "setup/SetupEditing.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>

#include <optional>
#include <set>

// The main window's lists: bringing rows in and out (paste, drop, copy), the context menu,
// editing cells in place, Undo and Redo, and storing the lists as they change.

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

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

// The rows with a selected cell, last first, so that removing them in this order keeps the
// positions of the rest.
std::vector<qsizetype> selectedRowsLastFirst(const QTreeView& view) {
    std::set<qsizetype, std::greater<>> rows;
    for (const QModelIndex& cell : view.selectionModel()->selectedIndexes()) {
        rows.insert(cell.row());
    }
    return {rows.begin(), rows.end()};
}

} // namespace

void Form1::setUpListSafety() {
    m_history = std::make_unique<ListHistory>(*m_tests, *m_students);
    m_history->setOptionsAccess(
        {[this] {
             return GeneralOptions{txtName->text(), txtTeachName->text(), txtProject->text(), txtYSQ->text()};
         },
         [this](const GeneralOptions& options) {
             // Each field stores itself as it changes, as when typed.
             txtName->setText(options.name);
             txtTeachName->setText(options.teacherName);
             txtProject->setText(options.project);
             txtYSQ->setText(options.ysq);
         }});
    m_history->setListener([this](const ListHistory::Event& event) {
        afterListChange(event.testsChanged, event.kind != ListHistory::Event::Kind::Recorded);
    });
    m_autosave = new ListAutosave(
        m_store,
        [this] {
            return ListAutosave::Values{{u"Tests"_s, encodeTests(m_tests->rows())},
                                        {u"Students"_s, encodeStudents(m_students->rows(), Combo1->count())}};
        },
        [this](const QString& why) { m_prompt.message(why); }, this);

    auto action = [this](QAction*& slot, const char16_t* name, const QString& text, QList<QKeySequence> keys,
                         void (Form1::*run)()) {
        slot = new QAction(text, this);
        slot->setObjectName(QString::fromUtf16(name));
        slot->setShortcuts(keys);
        slot->setEnabled(false);
        connect(slot, &QAction::triggered, this, run);
        addAction(slot);
    };
    action(m_undoAction, u"UndoListChange", u"&Undo"_s, {QKeySequence::Undo}, &Form1::UndoListChange);
    action(m_redoAction, u"RedoListChange", u"&Redo"_s,
           {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
           &Form1::RedoListChange);

    for (const ListKind list : {ListKind::Tests, ListKind::Students}) {
        QTreeView* view = listView(list);
        connect(view, &QWidget::customContextMenuRequested, this, [this, list, view](const QPoint& at) {
            QMenu* menu = makeListMenu(list);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(view->viewport()->mapToGlobal(at));
        });
        if (auto* cells = dynamic_cast<ListCellDelegate*>(view->itemDelegate())) {
            cells->setCommit([this, list](const QModelIndex& index, const std::function<void()>& store) {
                commitCellEdit(list, index, store);
            });
        }
    }
}

void Form1::setListStoreDelay(int milliseconds) {
    m_autosave->setDelay(milliseconds);
}

bool Form1::storeWaitingListChange() {
    return m_autosave->flush();
}

void Form1::changeLists(const std::function<void()>& change, bool withOptions) {
    m_history->record(change, withOptions);
}

void Form1::afterListChange(bool testsChanged, bool undoneOrRedone) {
    m_autosave->changed();
    m_undoAction->setEnabled(m_history->canUndo());
    m_redoAction->setEnabled(m_history->canRedo());
    // A test put back or taken away again shows in the picker and the students' columns at once,
    // as a tab change would show it.
    if (testsChanged && undoneOrRedone) {
        RefreshTestPicker();
        RebuildStudentColumns();
    }
}

void Form1::UndoListChange() {
    ErrorTrap trap(m_prompt, location(u"Undo"));
    trap.step(100, [&] { m_history->undo(); });
}

void Form1::RedoListChange() {
    ErrorTrap trap(m_prompt, location(u"Redo"));
    trap.step(100, [&] { m_history->redo(); });
}

void Form1::commitCellEdit(ListKind list, const QModelIndex& index, const std::function<void()>& store) {
    ErrorTrap trap(m_prompt, location(list == ListKind::Tests ? u"ListView1_Edit" : u"ListView2_Edit"));
    trap.step(100, [&] { changeLists(store); });
    // A renamed test renames its column and its line in the picker; neither is added nor removed.
    if (list == ListKind::Tests && index.column() == 0) {
        trap.step(102, [&] {
            const QString name = m_tests->names().value(index.row());
            QStringList columns = m_students->testColumns();
            if (index.row() < columns.size()) {
                columns[index.row()] = name;
                m_students->setTestColumns(columns);
            }
            if (index.row() < Combo1->count()) {
                Combo1->setItemText(index.row(), name);
            }
        });
    }
}

void Form1::DeleteRows(ListKind list) {
    ErrorTrap trap(m_prompt, location(list == ListKind::Tests ? u"ListView1_Delete" : u"ListView2_Delete"));
    trap.step(100, [&] {
        const std::vector<qsizetype> rows = selectedRowsLastFirst(*listView(list));
        changeLists([&] {
            for (const qsizetype row : rows) {
                if (list == ListKind::Tests) {
                    deleteSelectedTest(*m_tests, *m_students, row);
                } else {
                    deleteSelectedStudent(*m_students, row);
                }
            }
        });
    });
}

void Form1::CutRows(ListKind list) {
    // Without a selection copy takes every row; cut takes none.
    if (selectedRowsLastFirst(*listView(list)).empty()) {
        return;
    }
    CopyRows(list);
    DeleteRows(list);
}

QMenu* Form1::makeListMenu(ListKind list) {
    auto* menu = new QMenu(this);
    menu->addAction(m_undoAction);
    menu->addAction(m_redoAction);
    menu->addSeparator();
    const bool anySelected = !selectedRowsLastFirst(*listView(list)).empty();
    auto item = [&](const QString& text, QKeySequence::StandardKey key, bool enabled, auto run) {
        QAction* a = menu->addAction(text, this, run);
        a->setShortcut(key);
        a->setEnabled(enabled);
    };
    item(u"Cu&t"_s, QKeySequence::Cut, anySelected, [this, list] { CutRows(list); });
    item(u"&Copy"_s, QKeySequence::Copy, true, [this, list] { CopyRows(list); });
    item(u"&Paste"_s, QKeySequence::Paste, true, [this, list] { PasteRows(list); });
    item(u"&Delete"_s, QKeySequence::Delete, anySelected, [this, list] { DeleteRows(list); });
    menu->addSeparator();
    item(u"Select &All"_s, QKeySequence::SelectAll, listView(list)->model()->rowCount() > 0,
         [this, list] { listView(list)->selectAll(); });
    return menu;
}

QTreeView* Form1::listView(ListKind list) const {
    return list == ListKind::Tests ? ListView1 : ListView2;
}

// The copy, cut, paste and delete keys on a list, and files dragged onto it (drag events reach the list's
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
        void (Form1::*run)(ListKind) = nullptr;
        if (key->matches(QKeySequence::Paste)) {
            run = &Form1::PasteRows;
        } else if (key->matches(QKeySequence::Copy)) {
            run = &Form1::CopyRows;
        } else if (key->matches(QKeySequence::Cut)) {
            run = &Form1::CutRows;
        } else if (key->matches(QKeySequence::Delete)) {
            run = &Form1::DeleteRows;
        }
        if (!onList || run == nullptr) {
            return false;
        }
        // Accepting the override makes the key come to the list as a key press.
        key->accept();
        if (event->type() == QEvent::KeyPress) {
            (this->*run)(list);
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
    std::optional<QByteArray> bytes;
    QString why;
    trap.step(100, [&] { bytes = os::readFileBounded(path, kMaxRosterBytes, true, &why); });
    if (!bytes) {
        m_prompt.message(u"\"%1\" cannot be read: %2. Nothing was added."_s.arg(QDir::toNativeSeparators(path), why));
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
            trap.step(104, [&] { changeLists([&] { m_tests->appendRows(roster.rows); }); });
            trap.step(106, [&] { ListView1->scrollToBottom(); });
        }
        return;
    }
    rules.room = kMaxListRows - m_students->size();
    rules.testCount = m_students->testColumns().size();
    RosterRows<StudentRow> roster;
    trap.step(102, [&] { roster = readStudentsRoster(bytes, rules); });
    if (agreed(offerStudents(roster, source))) {
        trap.step(104, [&] { changeLists([&] { appendStudents(*m_students, roster.rows); }); });
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

} // namespace markwell
