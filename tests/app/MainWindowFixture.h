#pragma once

#include "app/Form1.h"
#include "setup/SettingsStore.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include "ScriptedPrompt.h"
#include "StubHost.h"
#include "TempDir.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace markwell::test {

using namespace Qt::Literals::StringLiterals;

// The main window over a store in a folder of its own, with every prompt answered by the test.
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

} // namespace markwell::test
