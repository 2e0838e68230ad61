#pragma once

#include <QObject>
#include <QString>

class QLabel;

// The file-mode label of the main window: its rich text, one link between two phrases, and
// the keyboard way to its link. Tab onto the label marks the link at once (a label would
// otherwise want a second Tab), and Enter or Space follows it as a click would.
class ModeTextLink : public QObject
{
    Q_OBJECT

public:
    // The label's text: firstPhrase, a link to linkTarget reading linkPhrase, lastPhrase.
    static QString richText(const QString& firstPhrase, const QString& linkTarget, const QString& linkPhrase,
                            const QString& lastPhrase);

    // Watches the label's keyboard events for as long as the label lives.
    explicit ModeTextLink(QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_label;
};
