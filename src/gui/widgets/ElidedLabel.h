#pragma once

#include <QLabel>

// A one-line label for texts of any length, such as file paths in a status line. When the text
// is wider than the label it is drawn shortened in the middle ("/tmp/…/bericht.pdf"), and the
// tooltip shows it whole; text() always returns the full text. The label never asks the layout
// for more width than its neighbours leave it.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget *parent = nullptr);

    // The text as drawn in the current width: text() itself when it fits.
    QString displayedText() const;
    bool isElided() const { return displayedText() != text(); }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QRect textRect() const;
};
