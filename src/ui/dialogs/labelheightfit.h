#pragma once

#include <QObject>

class QLabel;

// Keeps a word-wrapped label exactly as tall as its text needs at the width it has: no
// empty lines while the text is short, and the window around it grows for a longer text,
// or for the same text in a narrower window, instead of clipping it. Heights are worked out
// only while the label is shown, when its width is the real one.
class LabelHeightFit : public QObject
{
public:
    // Watches `label` and lives as its child.
    explicit LabelHeightFit(QLabel* label);

    // After the label's text has changed.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_label;
};
