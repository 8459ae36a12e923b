// Saving the gradebook as .xls, .xlsx or PDF from the preview window's save command: the file
// type rule, the name kept as typed, and the overwrite question, "Done." and the safe replace for
// every format.

#include "gradebook/export/SaveFormats.h"
#include "preview/SaveResult.h"

#include "workbook/xls/XlsWriter.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using namespace markwell::preview;
using namespace markwell::exporting;
using markwell::test::ScriptedPrompt;
using Kind = ScriptedPrompt::Shown::Kind;

namespace {

constexpr int kXls = 0, kXlsx = 1, kPdf = 2, kReports = 4; // the file types, as the dialog lists them

const QByteArray kCompoundFile("\xD0\xCF\x11\xE0", 4);
const QByteArray kZip("PK\x03\x04", 4);
const QByteArray kPdfStart("%PDF", 4);

// A small generated workbook: a title, a number and a formula over it.
QByteArray generatedWorkbook() {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    wb.sheets[0].name = "Grade book";
    wb.sheets[0].cellAt(4, 1).value = sheet::Value("Lincoln High");
    wb.sheets[0].cellAt(12, 1).value = sheet::Value("Ann Lee");
    wb.sheets[0].cellAt(12, 6).value = sheet::Value(18.0);
    const xls::Bytes bytes = xls::writeXls(wb);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

class SaveFormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_bytes = generatedWorkbook();
        m_work.write(u"qvtemp12345678.xls"_s, m_bytes);
        m_source = m_work.file(u"qvtemp12345678.xls"_s);
    }

    QStringList entries(const test::TempDir& dir) const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QByteArray start(const QString& name) const { return m_target.read(name).left(4); }
    void save(const QString& name, int fileType) {
        m_prompt.chooseFileNext(m_target.file(name), fileType);
        SaveResults(m_prompt, m_source);
    }

    test::TempDir m_work;
    test::TempDir m_target;
    QString m_source;
    QByteArray m_bytes;
    ScriptedPrompt m_prompt;
};

} // namespace

TEST(SaveFormats, TheExtensionDecidesOtherwiseTheChosenFileType) {
    const QList<Prompt::FileType> types = saveFileTypes();
    ASSERT_EQ(types.size(), 5);
    EXPECT_EQ(types[0].description, u"Excel Files (*.xls)"_s);
    EXPECT_EQ(types[0].pattern, u"*.xls"_s);
    EXPECT_EQ(types[1].description, u"Excel Workbook (*.xlsx)"_s);
    EXPECT_EQ(types[1].pattern, u"*.xlsx"_s);
    EXPECT_EQ(types[2].description, u"PDF (*.pdf)"_s);
    EXPECT_EQ(types[2].pattern, u"*.pdf"_s);
    EXPECT_EQ(types[3].description, u"PDF, fit to page width (*.pdf)"_s);
    EXPECT_EQ(types[4].description, u"Student Reports (*.pdf)"_s);
    EXPECT_EQ(types[4].pattern, u"*.pdf"_s);
    EXPECT_EQ(formatOfFileType(3), SaveFormat::PdfFitWidth);
    EXPECT_EQ(formatOfFileType(kReports), SaveFormat::StudentReports);
    EXPECT_EQ(formatOfFileType(kXls), SaveFormat::Xls);
    EXPECT_EQ(formatOfFileType(kXlsx), SaveFormat::Xlsx);
    EXPECT_EQ(formatOfFileType(kPdf), SaveFormat::Pdf);
    EXPECT_EQ(formatOfFileType(7), SaveFormat::Xls);

    const std::tuple<QString, SaveFormat, SaveFormat> cases[] = {
        {u"class.xls"_s, SaveFormat::Pdf, SaveFormat::Xls},
        {u"class.XLSX"_s, SaveFormat::Xls, SaveFormat::Xlsx},
        {u"class.Pdf"_s, SaveFormat::Xlsx, SaveFormat::Pdf},
        {u"class"_s, SaveFormat::Pdf, SaveFormat::Pdf},
        {u"class.txt"_s, SaveFormat::Xlsx, SaveFormat::Xlsx},
        {u"class.xlsx.bak"_s, SaveFormat::Xls, SaveFormat::Xls},
        {u"/home/t/class.pdf/grades"_s, SaveFormat::Xlsx, SaveFormat::Xlsx},
        {u".pdf"_s, SaveFormat::Xls, SaveFormat::Pdf},
        // A .pdf name takes whichever PDF was chosen.
        {u"class.PDF"_s, SaveFormat::StudentReports, SaveFormat::StudentReports},
        {u"class.pdf"_s, SaveFormat::PdfFitWidth, SaveFormat::PdfFitWidth},
        {u"class.xlsx"_s, SaveFormat::StudentReports, SaveFormat::Xlsx},
    };
    for (const auto& [name, chosen, expected] : cases) {
        EXPECT_EQ(formatForTarget(name, chosen), expected) << name.toStdString();
    }
}

TEST_F(SaveFormatsTest, EachFormatIsWrittenUnderTheNameAsTyped) {
    save(u"copy.xls"_s, kXls);
    save(u"book.xlsx"_s, kXls);  // the extension wins over the chosen type
    save(u"print.pdf"_s, kXlsx); // and again
    save(u"grades"_s, kXlsx);    // no extension: the chosen type, and no extension added
    save(u"printout"_s, kPdf);
    EXPECT_EQ(m_prompt.lastSaveTitle, u"Save File"_s);
    EXPECT_EQ(m_prompt.lastFileTypes.size(), 5);
    EXPECT_EQ(m_prompt.lastFilterDescription, u"Excel Files (*.xls)"_s); // listed first
    EXPECT_EQ(m_prompt.messageTexts(), QStringList(5, u"Done."_s));

    EXPECT_EQ(m_target.read(u"copy.xls"_s), m_bytes); // the workbook as made, byte for byte
    EXPECT_EQ(start(u"book.xlsx"_s), kZip);
    EXPECT_EQ(start(u"print.pdf"_s), kPdfStart);
    EXPECT_EQ(start(u"grades"_s), kZip);
    EXPECT_EQ(start(u"printout"_s), kPdfStart);
    QStringList names = entries(m_target);
    names.sort();
    EXPECT_EQ(names, (QStringList{u"book.xlsx"_s, u"copy.xls"_s, u"grades"_s, u"print.pdf"_s, u"printout"_s}));
    // The generated workbook stays, and no scratch file is left beside it.
    EXPECT_EQ(entries(m_work), QStringList{u"qvtemp12345678.xls"_s});
    EXPECT_EQ(m_work.read(u"qvtemp12345678.xls"_s), m_bytes);
}

TEST_F(SaveFormatsTest, OverwriteQuestionForEveryFormat) {
    for (const auto& [name, type, magic] : {std::tuple{u"old.xlsx"_s, kXlsx, kZip}, {u"old.pdf"_s, kPdf, kPdfStart}}) {
        m_target.write(name, "the teacher's earlier file");
        m_prompt.clear();
        m_prompt.answerNext(Prompt::Answer::No);
        save(name, type);
        ASSERT_EQ(m_prompt.count(Kind::Question), 1);
        EXPECT_EQ(m_prompt.shown()[1].text, u"Are you sure you wish to overwrite "_s + m_target.file(name) + u" ?"_s);
        EXPECT_EQ(m_target.read(name), QByteArray("the teacher's earlier file"));
        EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});

        m_prompt.clear();
        m_prompt.answerNext(Prompt::Answer::Yes);
        save(name, type);
        EXPECT_EQ(start(name), magic);
        EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});
    }
    QStringList names = entries(m_target);
    names.sort();
    EXPECT_EQ(names, (QStringList{u"old.pdf"_s, u"old.xlsx"_s}));
}

TEST_F(SaveFormatsTest, AFailedConversionKeepsTheOldFileAndIsReportedOnce) {
    m_target.write(u"keep.xlsx"_s, "the teacher's earlier file");
    m_target.write(u"keep.pdf"_s, "the teacher's earlier printout");
    // A generated workbook that is not a workbook at all.
    m_work.write(u"qvtemp12345678.xls"_s, "not a workbook");
    for (const auto& [name, type] : {std::pair{u"keep.xlsx"_s, kXlsx}, {u"keep.pdf"_s, kPdf}}) {
        m_prompt.clear();
        m_prompt.answerNext(Prompt::Answer::Yes);
        save(name, type);
        const QStringList texts = m_prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2) << name.toStdString();
        EXPECT_TRUE(texts[0].contains(u"Could not read the generated workbook \""_s + m_source))
            << texts[0].toStdString();
        EXPECT_TRUE(texts[0].contains(u"at line 110"_s));
        EXPECT_EQ(m_prompt.shown()[2].caption, u"Application Error"_s);
        EXPECT_EQ(texts[1], u"Done."_s);
    }
    EXPECT_EQ(m_target.read(u"keep.xlsx"_s), QByteArray("the teacher's earlier file"));
    EXPECT_EQ(m_target.read(u"keep.pdf"_s), QByteArray("the teacher's earlier printout"));
    EXPECT_EQ(entries(m_target).size(), 2);

    // A target that cannot be written: the report names it.
    m_work.write(u"qvtemp12345678.xls"_s, m_bytes);
    for (const auto& [name, type] : {std::pair{u"no/such/folder/x.xlsx"_s, kXlsx}, {u"no/such/folder/x.pdf"_s, kPdf}}) {
        m_prompt.clear();
        save(name, type);
        const QStringList texts = m_prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2) << name.toStdString();
        EXPECT_TRUE(texts[0].contains(u"Could not save to \""_s + m_target.file(name))) << texts[0].toStdString();
        EXPECT_EQ(texts[1], u"Done."_s);
    }
    // Student reports of a workbook that is no gradebook: the reason, and the old printout kept.
    m_prompt.clear();
    m_prompt.answerNext(Prompt::Answer::Yes);
    save(u"keep.pdf"_s, kReports);
    EXPECT_TRUE(m_prompt.messageTexts().value(0).contains(u"no student reports to print"_s))
        << m_prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(m_target.read(u"keep.pdf"_s), QByteArray("the teacher's earlier printout"));
    EXPECT_EQ(entries(m_work), QStringList{u"qvtemp12345678.xls"_s});
}

TEST_F(SaveFormatsTest, TheGeneratedWorkbookIsNeverReplacedWhateverTheFormat) {
    for (int type : {kXlsx, kPdf}) {
        m_prompt.clear();
        m_prompt.chooseFileNext(m_source, type);
        SaveResults(m_prompt, m_source);
        const QStringList texts = m_prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2);
        EXPECT_TRUE(texts[0].contains(u"cannot be saved over itself"_s));
        EXPECT_EQ(m_work.read(u"qvtemp12345678.xls"_s), m_bytes);
    }
}
