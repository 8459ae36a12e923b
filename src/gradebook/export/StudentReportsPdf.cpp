// Drawing the student reports: a page per student on US Letter, in points.

#include "gradebook/export/StudentReports.h"

#include "workbook/render/SheetPainter.h"

#include <QFontMetricsF>
#include <QIODevice>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace markwell::exporting {

namespace {

// The page, in points: Letter with margins of three quarters of an inch.
constexpr double kPageWidth = 612, kPageHeight = 792, kMargin = 54;
constexpr double kWidth = kPageWidth - 2 * kMargin;
constexpr double kFooterTop = kPageHeight - kMargin + 14;
// The header: the school, the class line, then the student's band.
constexpr double kClassLineTop = kMargin + 30, kBandTop = kMargin + 62, kBandHeight = 34;
constexpr double kTableTop = kBandTop + kBandHeight + 18;
constexpr double kHeadRowHeight = 20, kRowHeight = 17;
constexpr double kSummaryHeight = 64, kNoteHeight = 16, kGap = 14;
constexpr double kNumberColumn = 82;
constexpr double kTableBottom = kPageHeight - kMargin - 6;

// The gradebook's colours.
const QColor kDark(0xA7, 0x5A, 0x45);
const QColor kGrey(0xEA, 0xEA, 0xEA);
const QColor kCream(0xFD, 0xF8, 0xEC);
const QColor kMuted(0x5F, 0x5F, 0x5F);

constexpr int kRowsPerPage = static_cast<int>((kTableBottom - kTableTop - kHeadRowHeight) / kRowHeight);

// The tests of one page, and whether the summary closes it.
struct PagePlan {
    std::size_t first = 0, count = 0;
    bool summary = false;
};

std::vector<PagePlan> planPages(const StudentReport& student) {
    std::vector<PagePlan> pages;
    const std::size_t total = student.tests.size();
    std::size_t at = 0;
    do {
        const std::size_t count = std::min<std::size_t>(kRowsPerPage, total - at);
        pages.push_back({at, count, false});
        at += count;
    } while (at < total);
    bool notes =
        std::any_of(student.tests.begin(), student.tests.end(), [](const ReportTest& t) { return t.notCounted; });
    const double used = kTableTop + kHeadRowHeight + std::max<std::size_t>(pages.back().count, 1) * kRowHeight;
    if (used + kGap + kSummaryHeight + (notes ? kNoteHeight : 0) <= kTableBottom) {
        pages.back().summary = true;
    } else {
        pages.push_back({total, 0, true});
    }
    return pages;
}

class ReportPainter {
public:
    ReportPainter(const ClassReports& reports, QPainter& painter, const QString& date)
        : m_reports(reports), m_painter(painter), m_date(date), m_family(render::resolveFontFamily(reports.font.name)) {
    }

    void drawPage(const StudentReport& student, const PagePlan& plan, int page, int pages) {
        drawHeader(student, page);
        double y = kTableTop;
        if (plan.count > 0 || !plan.summary || student.tests.empty()) {
            y = drawTable(student, plan);
        }
        if (plan.summary) {
            drawSummary(student, y + kGap);
        }
        drawFooter(student, page, pages);
    }

private:
    QFont font(double points, bool bold = false, bool italic = false) const {
        QFont f(m_family);
        f.setPointSizeF(points);
        f.setBold(bold);
        f.setItalic(italic);
        return f;
    }

    void text(const QRectF& box, int flags, const QString& s, const QFont& f, const QColor& colour = Qt::black) {
        m_painter.setFont(f);
        m_painter.setPen(colour);
        const QString shown = QFontMetricsF(f, m_painter.device()).elidedText(s, Qt::ElideRight, box.width());
        m_painter.drawText(box, flags | Qt::TextSingleLine, shown);
    }

    void drawHeader(const StudentReport& student, int page) {
        text(QRectF(kMargin, kMargin, kWidth, 26), Qt::AlignLeft | Qt::AlignVCenter, m_reports.school, font(17, true),
             kDark);
        const QString labels[] = {u"Teacher"_s, u"Class"_s, u"Year/Semester/Quarter"_s};
        const QString values[] = {m_reports.teacher, m_reports.className, m_reports.period};
        const double third = kWidth / 3;
        for (int i = 0; i < 3; ++i) {
            const double x = kMargin + i * third;
            text(QRectF(x, kClassLineTop, third - 8, 11), Qt::AlignLeft | Qt::AlignTop, labels[i], font(7), kMuted);
            text(QRectF(x, kClassLineTop + 11, third - 8, 15), Qt::AlignLeft | Qt::AlignTop, values[i], font(10));
        }
        const QRectF band(kMargin, kBandTop, kWidth, kBandHeight);
        m_painter.fillRect(band, kDark);
        const QString id = student.id.isEmpty() ? QString() : u"Student ID  "_s + student.id;
        const QString right = page > 1 ? (id.isEmpty() ? u"continued"_s : id + u"  \u00b7  continued"_s) : id;
        text(band.adjusted(10, 0, -kWidth * 0.42, 0), Qt::AlignLeft | Qt::AlignVCenter, student.name, font(14, true),
             Qt::white);
        text(band.adjusted(kWidth * 0.6, 0, -10, 0), Qt::AlignRight | Qt::AlignVCenter, right, font(10), Qt::white);
    }

    // Returns where the table ends.
    double drawTable(const StudentReport& student, const PagePlan& plan) {
        const double nameWidth = kWidth - 4 * kNumberColumn;
        auto cellsOf = [&](double y, double height) {
            std::vector<QRectF> boxes{QRectF(kMargin, y, nameWidth, height)};
            for (int i = 0; i < 4; ++i) {
                boxes.emplace_back(kMargin + nameWidth + i * kNumberColumn, y, kNumberColumn, height);
            }
            return boxes;
        };
        const QString heads[] = {u"Test"_s, u"Points"_s, u"Possible"_s, u"Percent"_s, u"Class average"_s};
        const auto head = cellsOf(kTableTop, kHeadRowHeight);
        m_painter.fillRect(QRectF(kMargin, kTableTop, kWidth, kHeadRowHeight), kGrey);
        for (std::size_t i = 0; i < head.size(); ++i) {
            text(head[i].adjusted(6, 0, -6, 0), (i == 0 ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter,
                 heads[i], font(8.5, true));
        }
        double y = kTableTop + kHeadRowHeight;
        if (student.tests.empty()) {
            text(QRectF(kMargin + 6, y, kWidth - 12, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                 u"No tests in the gradebook."_s, font(9, false, true), kMuted);
            y += kRowHeight;
        }
        for (std::size_t i = plan.first; i < plan.first + plan.count; ++i) {
            const ReportTest& t = student.tests[i];
            if (i % 2 == 1) {
                m_painter.fillRect(QRectF(kMargin, y, kWidth, kRowHeight), kCream);
            }
            const auto row = cellsOf(y, kRowHeight);
            const QString points = t.notCounted ? t.points + u" *"_s : t.points;
            const QString texts[] = {t.name, points, t.possible, t.percent, t.classAverage};
            for (std::size_t c = 0; c < row.size(); ++c) {
                text(row[c].adjusted(6, 0, -6, 0), (c == 0 ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter,
                     texts[c], font(9, false, c == 1 && t.notCounted), c == 4 ? kMuted : QColor(Qt::black));
            }
            y += kRowHeight;
        }
        m_painter.setPen(QPen(kDark, 0.8));
        m_painter.drawLine(QPointF(kMargin, y), QPointF(kMargin + kWidth, y));
        return y;
    }

    void drawSummary(const StudentReport& student, double y) {
        const QString total = student.totalPoints.isEmpty() || m_reports.totalPossible.isEmpty()
                                  ? student.totalPoints
                                  : u"%1 of %2"_s.arg(student.totalPoints, m_reports.totalPossible);
        const QString labels[] = {u"Total points"_s, u"Average"_s, u"Letter grade"_s, u"Grade points"_s};
        const QString values[] = {total, student.average, student.letter, student.gradePoints};
        const double quarter = kWidth / 4;
        for (int i = 0; i < 4; ++i) {
            const QRectF box(kMargin + i * quarter + (i > 0 ? 4 : 0), y, quarter - 4, kSummaryHeight - 8);
            m_painter.setPen(QPen(i == 2 ? kDark : QColor(0xC8, 0xC8, 0xC8), i == 2 ? 1.5 : 0.8));
            m_painter.setBrush(i == 2 ? kCream : QColor(Qt::white));
            m_painter.drawRect(box);
            text(box.adjusted(8, 6, -8, 0), Qt::AlignLeft | Qt::AlignTop, labels[i], font(7.5), kMuted);
            text(box.adjusted(8, 18, -8, -4), Qt::AlignLeft | Qt::AlignVCenter, values[i], font(i == 2 ? 20 : 15, true),
                 i == 2 ? kDark : QColor(Qt::black));
        }
        m_painter.setBrush(Qt::NoBrush);
        if (std::any_of(student.tests.begin(), student.tests.end(), [](const ReportTest& t) { return t.notCounted; })) {
            text(QRectF(kMargin, y + kSummaryHeight, kWidth, kNoteHeight), Qt::AlignLeft | Qt::AlignVCenter,
                 u"* Not counted: points that are not a number take no part in the total or the average."_s,
                 font(8, false, true), kMuted);
        }
    }

    void drawFooter(const StudentReport& student, int page, int pages) {
        m_painter.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 0.6));
        m_painter.drawLine(QPointF(kMargin, kFooterTop - 4), QPointF(kMargin + kWidth, kFooterTop - 4));
        QString who = student.name;
        if (!student.id.isEmpty()) {
            who += u" (%1)"_s.arg(student.id);
        }
        if (pages > 1) {
            who += u" \u2013 page %1 of %2"_s.arg(page).arg(pages);
        }
        text(QRectF(kMargin, kFooterTop, kWidth * 0.7, 12), Qt::AlignLeft | Qt::AlignTop, who, font(7.5), kMuted);
        text(QRectF(kMargin + kWidth * 0.7, kFooterTop, kWidth * 0.3, 12), Qt::AlignRight | Qt::AlignTop,
             u"Made "_s + m_date, font(7.5), kMuted);
    }

    const ClassReports& m_reports;
    QPainter& m_painter;
    QString m_date;
    QString m_family;
};

} // namespace

int writeStudentReports(const ClassReports& reports, QIODevice& out, const ReportOptions& options) {
    if (!out.isWritable()) {
        throw std::runtime_error("The PDF cannot be written: the file is not open for writing.");
    }
    QPdfWriter writer(&out);
    writer.setResolution(72);
    writer.setCreator(options.creator);
    writer.setTitle(options.title);
    writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Point));
    const QDateTime at = options.madeAt.isValid() ? options.madeAt : QDateTime::currentDateTime();
    QPainter painter;
    if (!painter.begin(&writer)) {
        throw std::runtime_error("The PDF cannot be written.");
    }
    painter.setRenderHint(QPainter::Antialiasing);
    ReportPainter pages(reports, painter, QLocale().toString(at.date(), QLocale::LongFormat));
    int number = 0;
    static const StudentReport kNobody{u"No students in the gradebook"_s, {}, {}, {}, {}, {}, {}};
    std::vector<const StudentReport*> students;
    for (const StudentReport& s : reports.students) {
        students.push_back(&s);
    }
    if (students.empty()) {
        students.push_back(&kNobody); // a page that says so, rather than a file no reader opens
    }
    for (const StudentReport* student : students) {
        const std::vector<PagePlan> plan = planPages(*student);
        for (std::size_t p = 0; p < plan.size(); ++p) {
            if (number > 0 && !writer.newPage()) {
                throw std::runtime_error("The PDF cannot be written: a new page could not be started.");
            }
            ++number;
            pages.drawPage(*student, plan[p], static_cast<int>(p) + 1, static_cast<int>(plan.size()));
        }
    }
    if (!painter.end()) {
        throw std::runtime_error("The PDF cannot be completed.");
    }
    return number;
}

} // namespace markwell::exporting
