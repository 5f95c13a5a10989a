#pragma once

#include "calls/CallerDirectory.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the caller list as its grid edits them: number, name and the "Gesperrt" text, each
// free text until the list is saved (any text in "Gesperrt" then blocks). An empty list shows one
// empty row. Over a name the tool tip is the whole name.
class CallerListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        ColNumber = 0, // "Rufnummer"
        ColName = 1,   // "Name"
        ColBlocked = 2 // "Gesperrt": "X" for a blocked caller
    };

    explicit CallerListModel(QObject *parent = nullptr);

    void setCallers(const QList<CallerRecord> &callers);
    // The rows in display order, as the directory stores them.
    QList<CallerRecord> callers() const;
    // Adds one empty row at the end; returns its row number.
    int appendEmptyRow();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row
    {
        QString cells[3];
    };
    QList<Row> m_rows;
};
