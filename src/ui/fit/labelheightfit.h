#pragma once

#include <QObject>

class QLabel;

// Keeps a word-wrapped label exactly as tall as its text needs at the width it has, and its
// window as tall as its contents need: no empty band while the text is short or gone, and
// the window grows for a longer text, or for the same text in a narrower window, instead of
// clipping it. A window the person has made taller keeps its height. Heights are worked out
// only while the label is shown, when its width is the real one.
class LabelHeightFit : public QObject
{
public:
    // Watches `label` and lives as its child.
    explicit LabelHeightFit(QLabel* label);

    // After the label's text has changed or it was shown or hidden.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitLabel();

    static constexpr int kHidden = -1;
    static constexpr int kNotFitted = -2;

    QLabel* m_label;
    // The label's minimum height (kHidden while hidden) when the window was last fitted to it.
    int m_fittedLabelHeight = kNotFitted;
};
