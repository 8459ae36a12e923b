#pragma once

#include "gradebook/CreateTemplate.h"
#include "gradebook/TemplateBytes.h"
#include "setup/GradebookSetup.h"
#include "setup/SampleData.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"
#include "workbook/xls/XlsReader.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace markwell::test {

using namespace Qt::Literals::StringLiterals;

// A class of `tests` tests (test t has 10·t possible points) and `students` students (student i
// scored t + i on test t).
inline GradebookSetup classOf(int tests, int students) {
    GradebookSetup s;
    s.options = {u"School"_s, u"Teacher"_s, u"Class"_s, u"2026"_s};
    for (int t = 1; t <= tests; ++t) {
        s.tests.push_back({u"Test %1"_s.arg(t), QString::number(10 * t)});
    }
    for (int i = 1; i <= students; ++i) {
        StudentRow row{u"Student %1"_s.arg(i), u"ID%1"_s.arg(i), {}};
        for (int t = 1; t <= tests; ++t) {
            row.points << QString::number(t + i);
        }
        s.students.push_back(row);
    }
    s.pointsCount = tests;
    return s;
}

// The class "Load Sample/Example Data" makes, with the sample student's points for both tests.
inline GradebookSetup sampleClass() {
    GradebookSetup s;
    s.options = SampleData::options();
    for (const TestRow& t : SampleData::tests()) {
        s.tests.push_back(t);
    }
    StudentRow student = SampleData::student();
    student.points = {QString::fromUtf16(kSampleStudentPoints), QString::fromUtf16(kSampleStudentPoints)};
    s.students.push_back(student);
    s.pointsCount = 2;
    return s;
}

// Runs "Create Template" on the embedded engine and reads the workbook it made.
class FillFixture {
public:
    sheet::Workbook fill(const GradebookSetup& setup) {
        CreateTemplateEnvironment env;
        env.hostFactory = defaultHostFactory();
        env.templateBytes = [] { return templateWorkbook(); };
        env.workFolder = [this] { return work.path(); };
        bool creating = false;
        createTemplate(setup, env, ui, prompt, creating);
        if (ui.workbook.isEmpty()) {
            ADD_FAILURE() << "no workbook was made";
            return {};
        }
        QFile f(ui.workbook);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        return xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
    }

    TempDir work;
    ScriptedPrompt prompt;
    CollectingUi ui;
    QByteArray bytes;
};

// 1-based row and column, as the sheet shows them.
inline std::string cellText(const sheet::Sheet& s, int row, int column) {
    const sheet::Cell* c = s.cell(row - 1, column - 1);
    return c && c->value.isText() ? c->value.text() : std::string();
}

inline std::string cellFormula(const sheet::Workbook& book, const sheet::Sheet& s, int row, int column) {
    const sheet::Cell* c = s.cell(row - 1, column - 1);
    return c && c->formula ? formula::printFormula(c->formula, &book) : std::string("(no formula)");
}

inline std::optional<std::uint32_t> fillOf(const sheet::Workbook& book, const sheet::Sheet& s, int row, int column) {
    const sheet::Cell* c = s.cell(row - 1, column - 1);
    return c ? book.formats.at(c->format).fill : std::nullopt;
}

} // namespace markwell::test
