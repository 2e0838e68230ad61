#include "modetextlink.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>

QString ModeTextLink::richText(const QString& firstPhrase, const QString& linkTarget,
                               const QString& linkPhrase, const QString& lastPhrase)
{
    const QString frame =
        QStringLiteral("<html>") + QStringLiteral("<head><meta name=\"qrichtext\" content=\"1\" />") +
        QStringLiteral("<style type=\"text/css\">p, li { white-space: pre-wrap; } </style>") +
        QStringLiteral("<body style=\" font-family:'MS Shell Dlg 2'; font-size:8.25pt; font-weight:400; "
                       "font-style:normal;\">") +
        QStringLiteral("<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
                       "-qt-block-indent:0; text-indent:0px;\">");
    const QString plainSpan = QStringLiteral("<span style=\" font-size:8pt; font-weight:600;\">") +
                              QStringLiteral("%1") + QStringLiteral("</span>");
    const QString link = QStringLiteral("<a href=\"%1\">") + QStringLiteral("%2") + QStringLiteral("</a>");
    const QString redSpan =
        QStringLiteral("<span style=\" font-weight:600; text-decoration: underline; color:#ff0000;\">") +
        QStringLiteral("%1") + QStringLiteral("</span>");
    const QString end = QStringLiteral("</p>") + QStringLiteral("</body>") + QStringLiteral("</html>");

    return frame + plainSpan.arg(firstPhrase) + link.arg(linkTarget, redSpan.arg(linkPhrase)) +
           plainSpan.arg(lastPhrase) + end;
}

ModeTextLink::ModeTextLink(QLabel* label) : QObject(label), m_label(label)
{
    label->installEventFilter(this);
}

bool ModeTextLink::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            QKeyEvent moveToLink(QEvent::KeyPress,
                                 reason == Qt::TabFocusReason ? Qt::Key_Tab : Qt::Key_Backtab,
                                 Qt::NoModifier);
            QCoreApplication::sendEvent(m_label, &moveToLink);
        }
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            // The text holds one link; following it is what a click on it does.
            static const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
            const QRegularExpressionMatch match = href.match(m_label->text());
            if (match.hasMatch()) {
                emit m_label->linkActivated(match.captured(1));
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
