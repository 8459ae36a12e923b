#include "common/ErrorReport.h"

#include "common/Prompt.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

QString composeApplicationError(const QString& location, int lineLabel, const QString& description) {
    QString text = description;
    text += u"\r\n"_s;
    text += location;
    text += u"at line "_s;
    text += QString::number(lineLabel);
    text += u"\r\r"_s;
    text += u"Please email screenshot of this message to "_s;
    text += QString::fromUtf16(kSupportEmail);
    return text;
}

void ShowApplicationError(Prompt& prompt, const QString& location, int lineLabel, const QString& description) {
    prompt.message(composeApplicationError(location, lineLabel, description),
                   QString::fromUtf16(kApplicationErrorCaption), Prompt::Icon::Warning);
}

Failure::Failure(const QString& description) : std::runtime_error(description.toStdString()) {}

QString describeCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return u"Out of memory."_s;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"Unknown failure."_s;
    }
}

void ErrorTrap::report(const QString& description) {
    ++m_reports;
    ShowApplicationError(m_prompt, m_location, m_label, description);
}

} // namespace markwell
