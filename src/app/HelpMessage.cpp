#include "app/HelpMessage.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

QString helpMessageText() {
    return u"Questions? Please contact Team Kestrelware at "_s + QString::fromUtf16(kContactPageAddress);
}

QString hostUnavailableMessageText() {
    const QStringList parts{
        u"Error 842001. A normal instance of Excel could not be created."_s,
        u"1. Please make sure Excel is installed on this computer."_s,
        u"2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
        u"interrupting window (such as an Excel file recovery window)."_s,
        u"3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally without "
        u"any interrupting messages."_s,
        u"4. All versions of Excel are supported by this software except for the rare Excel Starter and Student "
        u"editions."_s,
    };
    return parts.join(u"\r\n\r\n"_s);
}

} // namespace markwell
