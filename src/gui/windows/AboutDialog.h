#pragma once

#include <QDialog>

// "Über Rufwart 32": the program's name, version, purpose and licence.
class TfmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfmAbout(QWidget *parent = nullptr);
};
